// The commands of sfxtool. Each returns the process exit status.
#pragma once

#include "tools/sfxtool/options.h"

// 0 success, 1 wrong password, 2 corrupt or unreadable, 3 out of memory, 4 a file could not be
// written, 64 a usage error.
int runCreate(Options& o);
int runExtract(Options& o, bool verifyOnly);
int runList(Options& o);
// Rates passwords typed at the terminal (until an empty one) or read one a line from standard
// input, printing for each the meter's result, a tab and its verdict.
int runRate();

// The password the options ask for: from the argument, one line of standard input, or the
// terminal. With `confirm` it is a new one: refused unless the extractor's dialogs can take it
// (typeable_password.h), and asked for twice at the terminal, where one the meter rejects is
// used only when the user says so (from elsewhere the verdict is shown). Returns 0, or an exit
// status after saying what went wrong.
int obtainPassword(Options& o, bool confirm, SecretText& password);

// "sfxtool: " and the message on standard error.
void complain(const std::u16string& message);
