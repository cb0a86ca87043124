// The program that signs: osslsigncode, started as a child process. Only the Linux build has
// it; on Windows the platform's own signtool signs archives (see the README).
#pragma once

#include <string>
#include <vector>

#include "tools/sfxtool/secret_text.h"

// Whether this build of sfxtool can sign at all.
bool signingBuiltIn();

// Runs osslsigncode with `args` (the program name not included) and waits for it. A non-empty
// `secret` is handed over on its standard input (for "-readpass /dev/stdin"), never on its
// command line, where every user of the machine could read it. Its own output is dropped; its
// error messages reach our standard error. Returns its exit status, or -1 when it could not be
// started (not installed).
int runSigningTool(const std::vector<std::u16string>& args, const SecretText& secret);
