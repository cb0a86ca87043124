// The checks sfxtool create makes on the files it is given, before it writes anything, so that
// the page refuses the same lists with the same reasons: every stored name must be one the
// reader accepts, fit a path, and be a different file from every other on Windows.
#pragma once

#include <cstdint>

enum ListedNameProblem : uint32_t {
    kNamesOk = 0,
    kNameTooLong = 1,      // the name alone is longer than a path may be
    kNameUnsafe = 2,       // its stored form is not one every system can extract
    kNameDuplicate = 3,    // Windows would take it and an earlier one for one file
    kNameFolderClash = 4,  // one of the two would be a folder of the other
    kNamesNoMemory = 5,
    kNameInvisible = 6,  // it holds an invisible formatting character (visible_name.h)
};

struct ListedNameCheck {
    ListedNameProblem problem = kNamesOk;
    uint32_t index = 0;      // the name at fault (for a clash, the later of the two)
    uint32_t other = 0;      // for a clash, the earlier name
    bool cut = false;        // some name loses leading folders, a drive or ".." when stored
    uint32_t character = 0;  // for kNameInvisible, the code point of the first such character
};

// `list` holds `count` names, each ended by a zero.
ListedNameCheck checkListedNames(const char16_t* list, uint32_t count);
