// Feeds arbitrary UTF-16 text to the rules for stored names: what the writer makes of a listed
// path, what the reader accepts, and the comparison that decides which names are one file on
// Windows, and the form names are shown in. Any name the reader accepts must be a plain relative
// path, the comparison must be an order (or duplicate names could slip past the check), and no
// shown name may hold a character that draws nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "common/archive/name_clash.h"
#include "common/archive/stored_name.h"
#include "common/archive/visible_name.h"
#include "common/support/upcase_table.h"

namespace {

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken rule: %s\n", what);
        std::abort();
    }
}

// Every component of an accepted name is a plain one.
void checkAccepted(const char16_t* name, uint32_t chars) {
    require(chars > 0 && chars <= kMaxNameChars, "an accepted name has a sane length");
    uint32_t start = 0;
    for (uint32_t i = 0; i <= chars; ++i) {
        if (i < chars && !isPathSeparator(name[i])) {
            require(name[i] >= 0x20 && name[i] != u':', "no control character or colon");
            for (const char16_t c : {u'?', u'*', u'<', u'>', u'|', u'"'})
                require(name[i] != c, "no character Windows refuses in a file name");
            continue;
        }
        const uint32_t n = i - start;
        require(n > 0, "no empty component (so no root and no doubled separator)");
        require(!(n == 1 && name[start] == u'.'), "no '.' component");
        require(!(n == 2 && name[start] == u'.' && name[start + 1] == u'.'), "no '..' component");
        require(name[i - 1] != u'.' && name[i - 1] != u' ', "no trailing dot or space");
        start = i + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two names from the input: split at its middle.
    char16_t a[kMaxNameChars + 1] = {}, b[kMaxNameChars + 1] = {};
    const size_t units = size / 2 < 2 * kMaxNameChars ? size / 2 : 2 * kMaxNameChars;
    const uint32_t aChars = static_cast<uint32_t>(units / 2);
    const uint32_t bChars = static_cast<uint32_t>(units - units / 2);
    std::memcpy(a, data, aChars * 2);
    std::memcpy(b, data + aChars * 2, bChars * 2);

    if (isSafeStoredName(a, aChars)) checkAccepted(a, aChars);

    // What the writer stores for a listed path is a name without any way out.
    a[aChars] = 0;
    char16_t stored[kMaxNameChars + 1];
    bool cut = false;
    const uint32_t storedChars = storedNameFor(a, stored, kMaxNameChars + 1, &cut);
    require(storedChars <= kMaxNameChars && stored[storedChars] == 0, "stored name terminated");
    if (storedChars > 0 && isSafeStoredName(stored, storedChars))
        checkAccepted(stored, storedChars);
    for (uint32_t i = 0; i + 1 < storedChars; ++i) {
        require(
            !(stored[i] == u'.' && stored[i + 1] == u'.' && (i == 0 || stored[i - 1] == u'\\') &&
              (i + 2 == storedChars || stored[i + 2] == u'\\')),
            "no '..' survives in a stored name");
    }

    // The shown form fits its bound, holds no invisible formatting character (so no name can pass
    // for another when shown), leaves a name without one as it is, and when cut short is a
    // start of the whole form.
    char16_t shown[kMaxNameChars * kVisibleGrowth + 1];
    const uint32_t shownChars = visibleName(a, aChars, shown, aChars * kVisibleGrowth + 1);
    require(shownChars <= aChars * kVisibleGrowth && shown[shownChars] == 0, "shown form fits");
    require(!holdsInvisible(shown, shownChars), "nothing invisible is shown");
    require(holdsInvisible(a, aChars) ||
                (shownChars == aChars && std::memcmp(shown, a, aChars * 2) == 0),
            "a name without invisible characters is shown as it is");
    char16_t part[kMaxNameChars * kVisibleGrowth + 1];
    const uint32_t room = bChars % (shownChars + 2);
    require(visibleName(a, aChars, part, room) == shownChars, "a cut form tells the whole length");
    if (room > 0) {
        uint32_t n = 0;
        while (part[n] != 0) ++n;
        require(n < room && std::memcmp(part, shown, n * 2) == 0, "a cut form is a start of it");
    }

    // The comparison is an order, and equality is equality of the upper-cased units.
    const int ab = compareStoredNames(a, aChars, b, bChars);
    const int ba = compareStoredNames(b, bChars, a, aChars);
    require((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0), "the comparison is antisymmetric");
    require(compareStoredNames(a, aChars, a, aChars) == 0, "a name equals itself");
    bool same = aChars == bChars;
    for (uint32_t i = 0; same && i < aChars; ++i) {
        const bool sa = isPathSeparator(a[i]), sb = isPathSeparator(b[i]);
        same = sa == sb && (sa || upcaseUnit(a[i]) == upcaseUnit(b[i]));
    }
    require(same == (ab == 0), "equal exactly when Windows would take them for one name");

    // Two names in a table: a clash is found exactly when they compare equal, or one is a
    // folder of the other.
    FileTable table;
    if (aChars > 0 && bChars > 0 && table.add(a, aChars, 0) && table.add(b, bChars, 0)) {
        NameClash clash;
        const bool found = findNameClash(table, clash) == ClashCheck::kClash;
        const bool folder = (aChars < bChars && isPathSeparator(b[aChars]) &&
                             compareStoredNames(a, aChars, b, aChars) == 0) ||
                            (bChars < aChars && isPathSeparator(a[bChars]) &&
                             compareStoredNames(b, bChars, a, bChars) == 0);
        require(found == (ab == 0 || folder), "the clash check agrees with the comparison");
    }
    return 0;
}
