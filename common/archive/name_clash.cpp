#include "common/archive/name_clash.h"

#include <new>

#include "common/archive/stored_name.h"
#include "common/support/upcase_table.h"

namespace {

// A unit as names are compared: separators below every character, letters upper-cased.
uint32_t foldedUnit(char16_t c) {
    return isPathSeparator(c) ? 0 : uint32_t{upcaseUnit(c)} + 1;
}

// Whether `longer` continues `shorter` with a separator, so `shorter` would be a folder.
bool isFolderOf(const char16_t* shorter, uint32_t shortChars, const char16_t* longer,
                uint32_t longChars) {
    if (longChars <= shortChars || !isPathSeparator(longer[shortChars])) return false;
    for (uint32_t i = 0; i < shortChars; ++i) {
        if (foldedUnit(shorter[i]) != foldedUnit(longer[i])) return false;
    }
    return true;
}

// Whether file x sorts before file y: by name as compared, then by position.
bool before(const FileTable& files, uint32_t x, uint32_t y) {
    const int c =
        compareStoredNames(files.nameOf(x), files.charsOf(x), files.nameOf(y), files.charsOf(y));
    return c != 0 ? c < 0 : x < y;
}

// Heap sort: in place, n log n at worst whatever the names, and a few dozen instructions in
// the extractor where a library sort would cost a kilobyte.
void sortByName(const FileTable& files, uint32_t* order, uint32_t n) {
    auto siftDown = [&](uint32_t root, uint32_t end) {
        for (;;) {
            uint32_t child = 2 * root + 1;
            if (child >= end) return;
            if (child + 1 < end && before(files, order[child], order[child + 1])) ++child;
            if (!before(files, order[root], order[child])) return;
            const uint32_t t = order[root];
            order[root] = order[child];
            order[child] = t;
            root = child;
        }
    };
    for (uint32_t i = n / 2; i > 0; --i) siftDown(i - 1, n);
    for (uint32_t end = n; end > 1; --end) {
        const uint32_t t = order[0];
        order[0] = order[end - 1];
        order[end - 1] = t;
        siftDown(0, end - 1);
    }
}

}  // namespace

int compareStoredNames(const char16_t* a, uint32_t aChars, const char16_t* b, uint32_t bChars) {
    const uint32_t common = aChars < bChars ? aChars : bChars;
    // Names sorted side by side share long beginnings (their folders): equal units fold alike,
    // so only what follows them needs folding.
    uint32_t i = 0;
    while (i < common && a[i] == b[i]) ++i;
    for (; i < common; ++i) {
        const uint32_t x = foldedUnit(a[i]), y = foldedUnit(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return aChars == bChars ? 0 : (aChars < bChars ? -1 : 1);
}

ClashCheck findNameClash(const FileTable& files, NameClash& clash) {
    const uint32_t n = files.count();
    if (n < 2) return ClashCheck::kNone;
    uint32_t* order = new (std::nothrow) uint32_t[n];
    if (order == nullptr) return ClashCheck::kOutOfMemory;
    for (uint32_t i = 0; i < n; ++i) order[i] = i;
    // Sorted so, equal names stand side by side, and a name is directly followed by the names
    // inside it as a folder (its separator sorts below any character that could come between).
    sortByName(files, order, n);
    ClashCheck found = ClashCheck::kNone;
    for (uint32_t k = 1; k < n && found == ClashCheck::kNone; ++k) {
        const uint32_t x = order[k - 1], y = order[k];
        const char16_t* a = files.nameOf(x);
        const char16_t* b = files.nameOf(y);
        const uint32_t ac = files.charsOf(x), bc = files.charsOf(y);
        const bool same = compareStoredNames(a, ac, b, bc) == 0;
        if (same || isFolderOf(a, ac, b, bc)) {
            clash.first = x < y ? x : y;
            clash.second = x < y ? y : x;
            clash.folder = !same;
            found = ClashCheck::kClash;
        }
    }
    delete[] order;
    return found;
}
