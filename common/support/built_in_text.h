// The US English texts of the string table, compiled in from string_table.def. Off Windows they
// are the only texts there are. On Windows a text comes from a string table first; this is what
// stands in for a text that a host's own table, made before the text existed, does not have.
#pragma once

#include <cstdint>

// The English text with this id, or null when the table has none.
const char16_t* builtInText(uint32_t id);
