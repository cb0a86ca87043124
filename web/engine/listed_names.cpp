#include "web/engine/listed_names.h"

#include "common/archive/archive_format.h"
#include "common/archive/file_table.h"
#include "common/archive/name_clash.h"
#include "common/archive/stored_name.h"
#include "common/archive/visible_name.h"
#include "common/support/code_page.h"

ListedNameCheck checkListedNames(const char16_t* list, uint32_t count) {
    ListedNameCheck check;
    FileTable stored;
    const char16_t* name = list;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t chars = wideLength(name);
        check.index = i;
        if (chars > kMaxPathChars) {
            check.problem = kNameTooLong;
            return check;
        }
        char16_t form[kMaxNameChars + 1];
        bool cut = false;
        const uint32_t n = storedNameFor(name, form, kMaxNameChars + 1, &cut);
        if (!isSafeStoredName(form, n)) {
            check.problem = kNameUnsafe;
            return check;
        }
        if (findInvisible(form, n, check.character) < n) {
            check.problem = kNameInvisible;
            return check;
        }
        check.cut = check.cut || cut;
        if (!stored.add(form, n, 0)) {
            check.problem = kNamesNoMemory;
            return check;
        }
        name += chars + 1;
    }
    check.index = 0;
    NameClash clash;
    switch (findNameClash(stored, clash)) {
        case ClashCheck::kNone:
            break;
        case ClashCheck::kClash:
            check.problem = clash.folder ? kNameFolderClash : kNameDuplicate;
            check.index = clash.second;
            check.other = clash.first;
            break;
        case ClashCheck::kOutOfMemory:
            check.problem = kNamesNoMemory;
            break;
    }
    return check;
}
