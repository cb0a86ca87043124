// The command line of sfxtool, parsed into one record.
#pragma once

#include <string>
#include <vector>

#include "tools/sfxtool/secret_text.h"

enum class PasswordFrom { kPrompt, kStdin, kArgument, kNone };

struct Options {
    std::u16string command;      // empty with --help or --version in place of one
    bool help = false;           // -h, --help: show the help (of the command, if one is named)
    bool version = false;        // --version
    bool quiet = false;          // -q: errors only
    bool verbose = false;        // -v, list
    std::u16string output;       // -o, create
    bool plain = false;          // --plain, create
    std::u16string stubFile;     // --stub, create
    std::u16string baseFolder;   // -C, create
    std::u16string destination;  // -d, extract
    std::vector<std::u16string> paths;
    PasswordFrom passwordFrom = PasswordFrom::kPrompt;
    SecretText password;  // -p
};

// Fills `out` from the arguments after the program name. Returns an empty text on success, or
// what is wrong with the command line. An option is accepted only where the option table
// (option_table.h) lets it; with -h or --help the rest is not checked.
std::u16string parseOptions(std::vector<std::u16string>& args, Options& out);

constexpr int kExitUsage = 64;
