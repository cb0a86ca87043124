#include "common/support/upcase_table.h"

char16_t upcaseUnit(char16_t c) {
    if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    // The last run that starts at or before c is the only one that can hold it.
    uint32_t lo = 0, hi = kUpcaseRunCount;
    while (hi - lo > 1) {
        const uint32_t mid = (lo + hi) / 2;
        if (kUpcaseRuns[mid].first <= c) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    const UpcaseRun& r = kUpcaseRuns[lo];
    if (c < r.first) return c;
    const uint32_t offset = c - r.first;
    if (offset % r.stride != 0 || offset / r.stride >= r.count) return c;
    return static_cast<char16_t>(c + r.delta);
}
