// The manual page and the bash completion script, written from the option table at build time
// (`sfxtool --dump-options man` and `... bash`), so both describe exactly the options sfxtool
// takes.
#pragma once

#include <string>

// sfxtool(1) in roff, for man.
std::u16string manualPage();
// A bash completion script: commands first, then each command's own options, and names of
// files or folders where an option or operand wants one.
std::u16string completionScript();
// One line per option and command it goes with: "COMMAND<TAB>OPTION<TAB>VALUE" (VALUE empty for
// a switch, COMMAND empty for one used in place of a command), for tests that check the
// parser, the manual and the completion against each other.
std::u16string optionListing();
