// Where loadText finds its texts, one implementation per platform: on Windows the string tables of
// the string module and then of the main program, elsewhere the compiled-in table.
#pragma once

#include <cstdint>

// Writes the text with this id into `buffer` (room for `size` characters, at least 1), cut to
// size - 1 characters and terminated. Returns its length; 0 when the id has no text anywhere, and
// the buffer then holds an empty string.
int32_t findText(uint32_t id, char16_t* buffer, int32_t size);

// The same from the texts this module was built with (on Windows its own string table, where a
// plug-in's table is not searched by findText; elsewhere the compiled-in table).
int32_t findOwnText(uint32_t id, char16_t* buffer, int32_t size);
