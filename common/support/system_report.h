// What the log records about the machine and the program when it starts: operating system,
// user-interface language, browser, processor, memory, and the version details of modules.
// osClass is also what the file picker and the writer branch on.
//
// Each text routine returns its own process-wide buffer, overwritten by its next call, or null
// for no text. They are meant for the thread that starts the log; osClass keeps no state and
// may be called from any thread. Texts longer than their buffers are cut at the buffer's end.
#pragma once

#include <cstdint>

#include "common/support/platform_types.h"

// Room, in UTF-16 code units with the terminator, of each result and of moduleInfo's outputs.
constexpr uint32_t kOsDescriptionRoom = 260;
constexpr uint32_t kUiLanguageRoom = 260;
constexpr uint32_t kBrowserVersionRoom = 128;
constexpr uint32_t kCpuDescriptionRoom = 128;
constexpr uint32_t kMemorySizeRoom = 100;
constexpr uint32_t kModuleInfoRoom = 260;

// The running Windows version as 0..8 (see os_version.h); 0 off Windows.
int osClass();

const char16_t* osDescription();
const char16_t* uiLanguage();
const char16_t* browserVersion();
const char16_t* cpuDescription();
const char16_t* memorySize();  // never null

// Version details of a module (null: the process's main program). Every output is optional
// (null to skip) and, when given, has room for kModuleInfoRoom code units. Values the module
// does not carry read "Unknown"; the path is given whenever the system knows it.
void moduleInfo(ModuleHandle module, char16_t* fileVersion, char16_t* path, char16_t* description,
                char16_t* productName, char16_t* productVersion, char16_t* legalNotice);
