// ANSI conversion on Windows: the system's own CP_ACP tables, best-fit mapping off where the
// active code page allows it (not where it is UTF-8, see ansi_flags.h).
#include <windows.h>

#include <climits>

#include "common/support/ansi_flags.h"
#include "common/support/code_page.h"

namespace {

static_assert(kNoBestFitFlag == WC_NO_BEST_FIT_CHARS);

int convert(const char16_t* text, uint32_t units, uint8_t* out, uint32_t limit) {
    return WideCharToMultiByte(CP_ACP, wideToAnsiFlags(GetACP()), reinterpret_cast<LPCWCH>(text),
                               static_cast<int>(units), reinterpret_cast<LPSTR>(out),
                               static_cast<int>(limit), nullptr, nullptr);
}

}  // namespace

uint32_t ansiFromWide(const char16_t* text, uint32_t units, uint8_t* out, uint32_t limit) {
    if (units == 0 || units > INT_MAX) return 0;
    if (limit > INT_MAX) limit = INT_MAX;
    if (out == nullptr) return static_cast<uint32_t>(convert(text, units, nullptr, 0));
    if (limit == 0) return 0;
    // Ask for the size first: a conversion that fails for want of room still writes what fits,
    // and nothing may land past the count this returns.
    const uint32_t whole = static_cast<uint32_t>(convert(text, units, nullptr, 0));
    if (whole == 0) return 0;
    if (whole <= limit) return static_cast<uint32_t>(convert(text, units, out, limit));

    // Too long: find the longest prefix that fits. The size a prefix needs grows with its
    // length, so a binary search over code units finds it with a few size queries.
    uint32_t fits = 0, tooLong = units;
    while (tooLong - fits > 1) {
        uint32_t mid = fits + (tooLong - fits) / 2;
        uint32_t need = static_cast<uint32_t>(convert(text, mid, nullptr, 0));
        if (need != 0 && need <= limit) {
            fits = mid;
        } else {
            tooLong = mid;
        }
    }
    if (fits > 0 && isHighSurrogate(text[fits - 1]) && isLowSurrogate(text[fits])) --fits;
    if (fits == 0) return 0;
    const int n = convert(text, fits, out, limit);
    return n > 0 ? static_cast<uint32_t>(n) : 0;
}

uint32_t wideFromAnsi(const uint8_t* text, uint32_t bytes, char16_t* out, uint32_t limit) {
    if (bytes == 0 || bytes > INT_MAX) return 0;
    const LPCCH in = reinterpret_cast<LPCCH>(text);
    const int need = MultiByteToWideChar(CP_ACP, 0, in, static_cast<int>(bytes), nullptr, 0);
    if (need <= 0) return 0;
    if (out == nullptr) return static_cast<uint32_t>(need);
    if (static_cast<uint32_t>(need) > limit) return 0;
    const int n = MultiByteToWideChar(CP_ACP, 0, in, static_cast<int>(bytes),
                                      reinterpret_cast<LPWSTR>(out), static_cast<int>(limit));
    return n > 0 ? static_cast<uint32_t>(n) : 0;
}
