// Texts by string-table id. Every caption and control text the dialogs show, and the status texts
// of the progress display, come through loadText, so a host can show them in its own language by
// naming the module that holds its translated string table.
#pragma once

#include <cstdint>

#include "common/support/platform_types.h"

// Size of the shared text buffer, in characters.
inline constexpr int32_t kSharedTextChars = 1024;

// Looks up the text with this id: first in the string module, then in the program's own module
// (on Windows the main program, which in a plug-in is the host; elsewhere the compiled-in table).
// A text that is missing or empty in one place counts as absent there. Writes it, cut to size - 1
// characters and terminated, into `buffer`, or with a null buffer into the shared text buffer,
// which keeps it only until the next such call. Size -1 means 1024; the shared buffer never takes
// more than its 1024 characters. Never returns null: a text found nowhere is an empty string, and
// so is the result for a size of 0 or below -1, for which nothing is written.
const char16_t* loadText(uint32_t id, char16_t* buffer = nullptr, int32_t size = -1);

// loadText into the shared buffer, except that a text found nowhere is the one this module was
// built with (the plug-in's own English table): for texts added after hosts made their
// translated string tables, which then lack them.
const char16_t* loadTextOrEnglish(uint32_t id);

// The module searched first. A plug-in sets it on every call from its host; a program leaves it
// null, so its own table answers. Natively the compiled-in table always answers.
void setStringModule(ModuleHandle module);
ModuleHandle stringModule();
