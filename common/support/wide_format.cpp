#include "common/support/wide_format.h"

#include "common/support/code_page.h"

namespace {

// Where the characters go: everything past the room is dropped and remembered as cut.
struct Sink {
    char16_t* out;
    uint32_t capacity;
    uint32_t length;
    bool cut;

    void put(char16_t c) {
        if (length + 1 < capacity) {
            out[length++] = c;
        } else {
            cut = true;
        }
    }
    void repeat(char16_t c, int count) {
        for (int i = 0; i < count; ++i) put(c);
    }
};

enum class Size { kDefault, kShort, kLong, kWide64, kNarrow, kWideText };

struct Field {
    bool left = false;
    bool zero = false;
    bool space = false;
    bool plus = false;
    int width = 0;
    int precision = -1;  // none
    Size size = Size::kDefault;
};

void putNumber(Sink& sink, const Field& field, uint64_t magnitude, bool negative, unsigned base,
               bool upper) {
    const char* digitSet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[24];
    int count = 0;
    while (magnitude != 0) {
        digits[count++] = digitSet[magnitude % base];
        magnitude /= base;
    }
    // As in C, precision 0 prints a zero value as no digits at all.
    if (count == 0 && field.precision != 0) digits[count++] = '0';
    const int shown = field.precision > count ? field.precision : count;
    const char16_t sign = negative ? u'-' : field.plus ? u'+' : field.space ? u' ' : 0;
    const int total = shown + (sign != 0 ? 1 : 0);
    const int pad = field.width > total ? field.width - total : 0;
    const bool zeros = field.zero && !field.left && field.precision < 0;

    if (!field.left && !zeros) sink.repeat(u' ', pad);
    if (sign != 0) sink.put(sign);
    if (zeros) sink.repeat(u'0', pad);
    sink.repeat(u'0', shown - count);
    while (count > 0) sink.put(static_cast<char16_t>(digits[--count]));
    if (field.left) sink.repeat(u' ', pad);
}

void putWideText(Sink& sink, const Field& field, const char16_t* text) {
    int length = 0;
    if (text != nullptr) {
        while (text[length] != 0 && (field.precision < 0 || length < field.precision)) ++length;
    }
    const int pad = field.width > length ? field.width - length : 0;
    if (!field.left) sink.repeat(u' ', pad);
    for (int i = 0; i < length; ++i) sink.put(text[i]);
    if (field.left) sink.repeat(u' ', pad);
}

void putNarrowText(Sink& sink, const Field& field, const char* text) {
    int length = 0;
    if (text != nullptr) {
        while (text[length] != 0 && (field.precision < 0 || length < field.precision)) ++length;
    }
    const int pad = field.width > length ? field.width - length : 0;
    if (!field.left) sink.repeat(u' ', pad);
    for (int i = 0; i < length; ++i) sink.put(cp1252ToUnit(static_cast<uint8_t>(text[i])));
    if (field.left) sink.repeat(u' ', pad);
}

// Reads flags, width, precision and size after the '%'; returns where the conversion letter is.
const char16_t* parseField(const char16_t* p, Field& field, va_list& args) {
    for (;; ++p) {
        if (*p == u'-') {
            field.left = true;
        } else if (*p == u'0') {
            field.zero = true;
        } else if (*p == u' ') {
            field.space = true;
        } else if (*p == u'+') {
            field.plus = true;
        } else {
            break;
        }
    }
    if (*p == u'*') {
        field.width = va_arg(args, int);
        if (field.width < 0) {
            field.left = true;
            field.width = field.width == INT32_MIN ? 0 : -field.width;
        }
        ++p;
    } else {
        while (*p >= u'0' && *p <= u'9') {
            if (field.width < 100000) field.width = field.width * 10 + (*p - u'0');
            ++p;
        }
    }
    if (*p == u'.') {
        ++p;
        field.precision = 0;
        if (*p == u'*') {
            field.precision = va_arg(args, int);
            if (field.precision < 0) field.precision = -1;
            ++p;
        } else {
            while (*p >= u'0' && *p <= u'9') {
                if (field.precision < 100000) field.precision = field.precision * 10 + (*p - u'0');
                ++p;
            }
        }
    }
    if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
        field.size = Size::kWide64;
        p += 3;
    } else if (p[0] == u'I' && p[1] == u'3' && p[2] == u'2') {
        p += 3;
    } else if (p[0] == u'l' && p[1] == u'l') {
        field.size = Size::kWide64;
        p += 2;
    } else if (*p == u'l') {
        field.size = Size::kLong;
        ++p;
    } else if (*p == u'h') {
        field.size = Size::kShort;
        ++p;
    } else if (*p == u'w') {
        field.size = Size::kWideText;
        ++p;
    }
    return p;
}

}  // namespace

uint32_t formatWideV(char16_t* out, uint32_t capacity, const char16_t* format, va_list args) {
    if (out == nullptr || capacity == 0) return 0;
    Sink sink{out, capacity, 0, false};
    // A copy, so that the argument list can be handed to the helpers by reference.
    va_list ap;
    va_copy(ap, args);
    const char16_t* p = format != nullptr ? format : u"";
    while (*p != 0 && !sink.cut) {
        if (*p != u'%') {
            sink.put(*p++);
            continue;
        }
        const char16_t* start = p;
        Field field;
        p = parseField(p + 1, field, ap);
        const char16_t conversion = *p;
        if (conversion == 0) break;  // a lone '%' at the end prints nothing
        ++p;
        switch (conversion) {
            case u'd':
            case u'i': {
                int64_t v = field.size == Size::kWide64 ? va_arg(ap, long long)
                            : field.size == Size::kLong ? va_arg(ap, long)
                                                        : va_arg(ap, int);
                if (field.size == Size::kShort) v = static_cast<short>(v);
                const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : v;
                putNumber(sink, field, magnitude, v < 0, 10, false);
                break;
            }
            case u'u':
            case u'x':
            case u'X': {
                uint64_t v = field.size == Size::kWide64 ? va_arg(ap, unsigned long long)
                             : field.size == Size::kLong ? va_arg(ap, unsigned long)
                                                         : va_arg(ap, unsigned);
                if (field.size == Size::kShort) v = static_cast<unsigned short>(v);
                putNumber(sink, field, v, false, conversion == u'u' ? 10 : 16, conversion == u'X');
                break;
            }
            case u'p': {
                Field hex;
                hex.precision = static_cast<int>(2 * sizeof(void*));
                hex.width = field.width;
                hex.left = field.left;
                const auto v = reinterpret_cast<uintptr_t>(va_arg(ap, void*));
                putNumber(sink, hex, v, false, 16, true);
                break;
            }
            case u'c':
            case u'C': {
                const int v = va_arg(ap, int);
                const bool narrow = conversion == u'C' || field.size == Size::kShort;
                const char16_t unit =
                    narrow ? cp1252ToUnit(static_cast<uint8_t>(v)) : static_cast<char16_t>(v);
                const char16_t text[2] = {unit, 0};
                Field plain = field;
                plain.precision = -1;
                putWideText(sink, plain, text);
                break;
            }
            case u's':
            case u'S': {
                const bool narrow = (conversion == u'S' && field.size != Size::kLong &&
                                     field.size != Size::kWideText) ||
                                    field.size == Size::kShort;
                if (narrow) {
                    putNarrowText(sink, field, va_arg(ap, const char*));
                } else {
                    putWideText(sink, field, va_arg(ap, const char16_t*));
                }
                break;
            }
            case u'%':
                sink.put(u'%');
                break;
            default:
                while (start < p) sink.put(*start++);
                break;
        }
    }
    va_end(ap);
    // A high surrogate left last by the cut has lost its partner.
    if (sink.cut && sink.length > 0 && isHighSurrogate(out[sink.length - 1])) --sink.length;
    out[sink.length] = 0;
    return sink.length;
}

uint32_t formatWide(char16_t* out, uint32_t capacity, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const uint32_t n = formatWideV(out, capacity, format, args);
    va_end(args);
    return n;
}
