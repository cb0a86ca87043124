// The command line of sfxtool, parsed into one record.
#pragma once

#include <string>
#include <vector>

#include "tools/sfxtool/secret_text.h"

enum class PasswordFrom { kPrompt, kStdin, kArgument, kNone };

struct Options {
    std::u16string command;        // empty with --help or --version in place of one
    bool help = false;             // -h, --help: show the help (of the command, if one is named)
    bool version = false;          // --version
    bool quiet = false;            // -q: errors only
    bool verbose = false;          // -v, list
    std::u16string output;         // -o, create
    bool plain = false;            // --plain, create
    bool noIntegrity = false;      // --no-integrity, create
    bool noMetadata = false;       // --no-metadata, create
    bool classicKey = false;       // --classic-key, create
    bool allowUnverified = false;  // --allow-unverified, extract and test
    std::u16string stubFile;       // --stub, create
    std::u16string baseFolder;     // -C, create
    std::u16string destination;    // -d, extract
    bool keepExisting = false;     // --keep-existing, extract
    std::vector<std::u16string> paths;
    PasswordFrom passwordFrom = PasswordFrom::kPrompt;
    SecretText password;  // -p
    // Signing the finished self-extracting archive, create only: a certificate and its key, or
    // one PKCS#12 file holding both; the password of the key or file; a timestamp server.
    std::u16string signCert;       // --sign-cert
    std::u16string signKey;        // --sign-key
    std::u16string signPkcs12;     // --sign-pkcs12
    std::u16string signTimestamp;  // --sign-timestamp
    SecretText signPass;           // --sign-pass

    bool signing() const { return !signCert.empty() || !signKey.empty() || !signPkcs12.empty(); }
};

// Fills `out` from the arguments after the program name. Returns an empty text on success, or
// what is wrong with the command line. An option is accepted only where the option table
// (option_table.h) lets it; with -h or --help the rest is not checked.
std::u16string parseOptions(std::vector<std::u16string>& args, Options& out);

// The archive was written but could not be signed, or did not read back once signed; it is
// removed again.
constexpr int kExitSigning = 5;
// extract and test: the archive cannot be checked for changes and --allow-unverified was not given.
constexpr int kExitUnverified = 6;
constexpr int kExitUsage = 64;
// A given password that gives no key (out of memory, or no text left once converted); the same
// status as the engine's out of memory.
constexpr int kExitNoKey = 3;
