// The checks sfxtool create makes on the files it is given, before it writes anything, so that
// the page refuses the same lists with the same reasons: every stored name must be one the
// reader accepts, fit a path, and differ from every other (Windows ignores case).
#pragma once

#include <cstdint>

enum ListedNameProblem : uint32_t {
    kNamesOk = 0,
    kNameTooLong = 1,    // the name alone is longer than a path may be
    kNameUnsafe = 2,     // its stored form is not one every system can extract
    kNameDuplicate = 3,  // stored under the same name as an earlier one
};

struct ListedNameCheck {
    ListedNameProblem problem = kNamesOk;
    uint32_t index = 0;  // the name at fault
    uint32_t other = 0;  // for a duplicate, the earlier name it clashes with
    bool cut = false;    // some name loses leading folders, a drive or ".." when stored
};

// `list` holds `count` names, each ended by a zero.
ListedNameCheck checkListedNames(const char16_t* list, uint32_t count);
