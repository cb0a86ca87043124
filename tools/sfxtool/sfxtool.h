// The command-line front end's entry, shared by both platforms' main functions.
#pragma once

#include <string>
#include <vector>

int runSfxtool(std::vector<std::u16string>& args);
