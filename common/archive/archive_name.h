// The archive name the creation dialog offers when the user has not typed one: the first picked
// file's name with the archive's extension, so the archive lands beside the files it holds.
#pragma once

#include "common/archive/wide_buf.h"

// From the list text as the file pickers write it: the first quoted name, or the whole text when
// it holds no double quote. Everything after the name's last dot becomes "exe" (self-extracting)
// or "tvf" (plain encrypted archive); a name without a dot gets ".exe" or ".tvf" appended.
// Leaves the result in `out`, which is empty when it cannot hold it.
void defaultArchiveName(const char16_t* listText, bool selfExtracting, WideBuf& out);
