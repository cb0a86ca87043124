#include "common/archive/visible_name.h"

namespace {

struct Range {
    uint32_t first;
    uint32_t last;
};

// In ascending order. The Cf ranges are the category as the Unicode character database gives
// it; the others are characters that draw nothing (or break the line) without being Cf.
constexpr Range kInvisible[] = {
    {0x007F, 0x009F},    // DEL and the C1 controls
    {0x00AD, 0x00AD},    // soft hyphen
    {0x0600, 0x0605},    // Arabic number signs
    {0x061C, 0x061C},    // Arabic letter mark
    {0x06DD, 0x06DD},    // Arabic end of ayah
    {0x070F, 0x070F},    // Syriac abbreviation mark
    {0x0890, 0x0891},    // Arabic pound and piastre marks above
    {0x08E2, 0x08E2},    // Arabic disputed end of ayah
    {0x180E, 0x180E},    // Mongolian vowel separator
    {0x200B, 0x200F},    // zero-width space, joiners, left-to-right and right-to-left marks
    {0x2028, 0x2029},    // line and paragraph separators
    {0x202A, 0x202E},    // embeddings and overrides
    {0x2060, 0x2064},    // word joiner, invisible operators
    {0x2066, 0x206F},    // isolates and deprecated format characters
    {0xD800, 0xDFFF},    // surrogates, which reach here only unpaired
    {0xFEFF, 0xFEFF},    // zero-width no-break space (byte order mark)
    {0xFFF9, 0xFFFB},    // interlinear annotation
    {0x110BD, 0x110BD},  // Kaithi number sign
    {0x110CD, 0x110CD},  // Kaithi number sign above
    {0x13430, 0x1343F},  // Egyptian hieroglyph format controls
    {0x1BCA0, 0x1BCA3},  // shorthand format controls
    {0x1D173, 0x1D17A},  // musical symbol format controls
    {0xE0001, 0xE0001},  // language tag
    {0xE0020, 0xE007F},  // tag characters
};

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The code point at `i` and how many code units it takes (2 for a pair, else 1).
uint32_t codePointAt(const char16_t* name, uint32_t chars, uint32_t i, uint32_t& units) {
    const char16_t c = name[i];
    if (isHighSurrogate(c) && i + 1 < chars && isLowSurrogate(name[i + 1])) {
        units = 2;
        return 0x10000 + ((uint32_t{c} - 0xD800) << 10) + (uint32_t{name[i + 1]} - 0xDC00);
    }
    units = 1;
    return c;
}

}  // namespace

bool isInvisibleFormatting(uint32_t codePoint) {
    for (const Range& r : kInvisible) {
        if (codePoint < r.first) return false;
        if (codePoint <= r.last) return true;
    }
    return false;
}

uint32_t findInvisible(const char16_t* name, uint32_t chars, uint32_t& codePoint) {
    uint32_t units = 1;
    for (uint32_t i = 0; i < chars; i += units) {
        const uint32_t c = codePointAt(name, chars, i, units);
        if (isInvisibleFormatting(c)) {
            codePoint = c;
            return i;
        }
    }
    return chars;
}

uint32_t codePointLabel(uint32_t codePoint, char16_t* out) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    uint32_t digits = 4;
    while (digits < 8 && (codePoint >> (4 * digits)) != 0) ++digits;
    uint32_t n = 0;
    out[n++] = u'U';
    out[n++] = u'+';
    for (uint32_t d = digits; d > 0; --d) out[n++] = kDigits[(codePoint >> (4 * (d - 1))) & 0xF];
    out[n] = 0;
    return n;
}

uint32_t visibleName(const char16_t* name, uint32_t chars, char16_t* out, uint32_t room) {
    uint32_t length = 0;
    bool full = room == 0;
    const auto put = [&](const char16_t* piece, uint32_t n) {
        if (!full && length + n <= room - 1) {
            for (uint32_t k = 0; k < n; ++k) out[length + k] = piece[k];
        } else {
            full = true;  // nothing after a piece that did not fit, so nothing is half shown
        }
        length += n;
    };
    uint32_t units = 1;
    uint32_t written = 0;
    for (uint32_t i = 0; i < chars; i += units) {
        const uint32_t c = codePointAt(name, chars, i, units);
        if (isInvisibleFormatting(c)) {
            char16_t label[11];
            label[0] = u'<';
            const uint32_t n = codePointLabel(c, label + 1) + 1;
            label[n] = u'>';
            put(label, n + 1);
        } else {
            put(name + i, units);
        }
        if (!full) written = length;
    }
    if (room > 0) out[written] = 0;
    return length;
}
