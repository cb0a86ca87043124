#include "common/support/utf8.h"

#include "common/support/code_page.h"

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

}  // namespace

std::string utf8FromWide(const char16_t* text) {
    std::string out;
    if (text == nullptr) return out;
    for (std::size_t i = 0; text[i] != 0; ++i) {
        char32_t c = text[i];
        if (isHighSurrogate(text[i]) && isLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i])) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string utf8FromWide(const std::u16string& text) {
    return utf8FromWide(text.c_str());
}

std::u16string wideFromUtf8(const std::string& text) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t c = extra == 0   ? b
                     : extra == 1 ? (b & 0x1F)
                     : extra == 2 ? (b & 0x0F)
                                  : (b & 0x07);
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < n;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                ok = false;
            } else {
                c = (c << 6) | (s[i + k] & 0x3F);
            }
        }
        const char32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
        if (ok && (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (!ok) {
            appendUtf16(out, 0xFFFD);
            ++i;
            continue;
        }
        appendUtf16(out, c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}
