#include "web/engine/listed_names.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/archive/file_table.h"
#include "common/archive/stored_name.h"
#include "common/support/code_page.h"

namespace {

constexpr uint32_t kMaxPathChars = 259;

struct Stored {
    std::u16string key;  // the stored name with ASCII letters in upper case
    uint32_t index;
};

}  // namespace

ListedNameCheck checkListedNames(const char16_t* list, uint32_t count) {
    ListedNameCheck check;
    std::vector<Stored> stored;
    stored.reserve(count);
    const char16_t* name = list;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t chars = wideLength(name);
        if (chars > kMaxPathChars) {
            check.problem = kNameTooLong;
            check.index = i;
            return check;
        }
        char16_t out[kMaxNameChars + 1];
        bool cut = false;
        const uint32_t n = storedNameFor(name, out, kMaxNameChars + 1, &cut);
        if (!isSafeStoredName(out, n)) {
            check.problem = kNameUnsafe;
            check.index = i;
            return check;
        }
        check.cut = check.cut || cut;
        std::u16string key(out, n);
        for (char16_t& c : key) c = (c >= u'a' && c <= u'z') ? c - 32 : c;
        stored.push_back({std::move(key), i});
        name += chars + 1;
    }
    // The first clash in list order: sorted by name, then by position, equal names lie side by
    // side with the earliest first.
    std::sort(stored.begin(), stored.end(), [](const Stored& a, const Stored& b) {
        return a.key != b.key ? a.key < b.key : a.index < b.index;
    });
    for (std::size_t i = 1; i < stored.size(); ++i) {
        if (stored[i].key != stored[i - 1].key) continue;
        if (check.problem == kNamesOk || stored[i].index < check.index) {
            check.problem = kNameDuplicate;
            check.index = stored[i].index;
            check.other = stored[i - 1].index;
        }
    }
    return check;
}
