// Named ids of the string table, so code says loadText(kStrCompleted) rather than a bare number.
// Derived from string_table.def, the one list of ids and texts.
#pragma once

#include <cstdint>

#define QUILLON_TEXT(id, name, text) inline constexpr uint32_t name = id;
#include "common/support/string_table.def"
#undef QUILLON_TEXT
