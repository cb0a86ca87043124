#include "common/archive/stored_name.h"

#include <initializer_list>

namespace {

char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool sameLetters(const char16_t* s, uint32_t n, const char* word) {
    for (uint32_t i = 0; i < n; ++i) {
        if (word[i] == 0 || upper(s[i]) != static_cast<char16_t>(word[i])) return false;
    }
    return word[n] == 0;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (the superscript digits one, two and
// three count as digits there too), alone or before an extension: opening such a name on
// Windows opens the device, not a file.
bool isDeviceName(const char16_t* s, uint32_t n) {
    uint32_t base = 0;
    while (base < n && s[base] != u'.') ++base;
    while (base > 0 && s[base - 1] == u' ') --base;
    for (const char* word : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (sameLetters(s, base, word)) return true;
    }
    if (base == 4 && (sameLetters(s, 3, "COM") || sameLetters(s, 3, "LPT"))) {
        const char16_t d = s[3];
        return (d >= u'0' && d <= u'9') || d == u'\u00B9' || d == u'\u00B2' || d == u'\u00B3';
    }
    return false;
}

// Characters no Windows file name holds: a colon names a drive or a data stream, and the others
// are wildcards and shell punctuation the file system refuses. A name with one of them would be
// stored on any other system, and fail on Windows only once its data had been decrypted.
bool isForbiddenCharacter(char16_t c) {
    if (c < 0x20) return true;
    switch (c) {
        case u':':
        case u'?':
        case u'*':
        case u'<':
        case u'>':
        case u'|':
        case u'"':
            return true;
        default:
            return false;
    }
}

bool isSafeComponent(const char16_t* s, uint32_t n) {
    if (n == 0) return false;
    if (s[n - 1] == u'.' || s[n - 1] == u' ') return false;  // also rules out "." and ".."
    for (uint32_t i = 0; i < n; ++i) {
        if (isForbiddenCharacter(s[i])) return false;
    }
    return !isDeviceName(s, n);
}

}  // namespace

bool isSafeStoredName(const char16_t* name, uint32_t chars) {
    if (name == nullptr || chars == 0) return false;
    uint32_t start = 0;
    for (uint32_t i = 0; i <= chars; ++i) {
        if (i == chars || isPathSeparator(name[i])) {
            if (!isSafeComponent(name + start, i - start)) return false;
            start = i + 1;
        } else if (name[i] == 0) {
            return false;  // a zero inside the stored length
        }
    }
    return true;
}

uint32_t pathRootLength(const char16_t* path, uint32_t chars) {
    if (chars >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
        // \\server\share\ : two components past the leading pair.
        uint32_t i = 2, parts = 0;
        while (i < chars && parts < 2) {
            if (isPathSeparator(path[i])) ++parts;
            ++i;
        }
        return i;
    }
    if (chars >= 2 && path[1] == u':') return chars >= 3 && isPathSeparator(path[2]) ? 3 : 2;
    if (chars >= 1 && isPathSeparator(path[0])) return 1;
    return 0;
}

uint32_t storedNameFor(const char16_t* listed, char16_t* out, uint32_t room, bool* cut) {
    if (cut != nullptr) *cut = false;
    if (listed == nullptr || out == nullptr || room == 0) return 0;
    uint32_t chars = 0;
    while (listed[chars] != 0) ++chars;
    uint32_t start = pathRootLength(listed, chars);
    if (start > 0 && cut != nullptr) *cut = true;
    uint32_t length = 0;
    bool fits = true;
    for (uint32_t i = start; i <= chars; ++i) {
        if (i < chars && !isPathSeparator(listed[i])) continue;
        const char16_t* c = listed + start;
        const uint32_t n = i - start;
        start = i + 1;
        if (n == 0 || (n == 1 && c[0] == u'.')) continue;
        if (n == 2 && c[0] == u'.' && c[1] == u'.') {
            length = 0;
            fits = true;
            if (cut != nullptr) *cut = true;
            continue;
        }
        const uint32_t need = n + (length > 0 ? 1 : 0);
        if (length + need > room - 1) {
            fits = false;
            continue;
        }
        if (length > 0) out[length++] = u'\\';
        for (uint32_t k = 0; k < n; ++k) out[length++] = c[k];
    }
    if (!fits) length = 0;
    out[length] = 0;
    return length;
}
