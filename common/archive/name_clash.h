// Names that Windows would take for one file, or for a file and a folder of the same name. It
// compares names without regard to case, upper-casing one UTF-16 unit at a time (so "Ä.txt" and
// "ä.txt", or "Σα" and "σα", are the same file there), and a slash is a backslash. An archive
// that holds two such names could not be extracted whole on Windows (the second would replace
// the first, or a file would stand where a folder must), and extracting it elsewhere would give
// a result that differs from Windows', so the reader refuses it and sfxtool will not make one.
#pragma once

#include <cstdint>

#include "common/archive/file_table.h"

struct NameClash {
    uint32_t first = 0;  // table indexes of the two names, first < second
    uint32_t second = 0;
    bool folder = false;  // one names a folder of the other ("a" and "a\b")
};

enum class ClashCheck { kNone, kClash, kOutOfMemory };

ClashCheck findNameClash(const FileTable& files, NameClash& clash);

// The order in which names are compared: case folded, separators lowest, a name before every
// longer name it begins. Negative, zero or positive.
int compareStoredNames(const char16_t* a, uint32_t aChars, const char16_t* b, uint32_t bChars);
