// The two forms of the creation dialog's file list. People and the explorer-style open-file
// dialog write it as text: one bare name, or every name in double quotes with a space between
// them. The writer wants it as names each ended by a zero, with a count. The old-style open-file
// dialog returns names zero-separated too, so the same file turns them back into the quoted text
// the explorer dialog would have written.
#pragma once

#include <cstdint>

#include "common/archive/wide_buf.h"

// Converts the list text into `names` (grown to the text's length plus one, which also clears
// it) and returns the name count. Text without a double quote is one name, spaces and all.
// Otherwise only what stands between a pair of quotes counts; text outside quotes (the separating
// spaces, stray words) is dropped, and an unclosed last quote still ends a name. A quoted empty
// name is dropped too: in the writer's list an empty name marks the end, so it would silently
// cut off every name after it. Empty text, or a buffer that cannot grow, gives 0.
uint32_t parseNameList(const char16_t* text, WideBuf& names);

// Appends `name` to the list text in the quoted form: `"name"` for an empty list, else a space
// and `"name"`. Grows `list` to hold it; false (list unchanged) when it cannot.
bool appendQuotedName(WideBuf& list, const char16_t* name);
