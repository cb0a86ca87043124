// What `sfxtool --help`, `sfxtool COMMAND --help` and `sfxtool --version` print, written from
// the option table.
#pragma once

#include <string>

#include "tools/sfxtool/option_table.h"

// Every command's synopsis and summary, the general options and the exit status.
std::u16string overviewHelp();
// One command: its synopsis, what it does, and each option it takes.
std::u16string commandHelp(const CommandInfo& command);
// The synopses alone, for a usage error: the one command's, or all of them.
std::u16string usageLines(const CommandInfo* command);
// "sfxtool (Quillon SFX) 1.1.0" and a line end.
std::u16string versionText();

// Where the web page that opens and makes archives in a browser is, as this build is shipped:
// installed by the Debian package, or beside sfxtool.exe in the Windows zip.
std::u16string webPagePlace();
// What the page is for, as a paragraph: opening archives anywhere, and getting one past mail
// that refuses programs.
std::u16string webPageNote();
