// The command line of the plug-in test host: which plug-in to load and the export calls to make
// on it, in order, in one process (so a later call sees what an earlier one left in the library).
//
//     pluginhost.exe [--plugin PATH] EXPORT [call options] [-- EXPORT [call options]]...
//
// Call options: --password P, --archive PATH, --language DLL (the language module), --host DLL
// (a module to pass as the host instead of this program), --null-host.
#pragma once

#include <string>
#include <vector>

struct HostCall {
    std::wstring exportName;
    bool hasPassword = false;  // without --password the export gets a null password
    std::wstring password;
    bool hasArchive = false;  // without --archive decrypt gets a null archive path
    std::wstring archive;
    std::wstring language;  // empty: a null language module
    std::wstring host;      // empty: this program
    bool nullHost = false;
};

struct HostOptions {
    std::wstring plugin;  // empty: sfxbuild.dll beside this program
    std::vector<HostCall> calls;
};

// Fills `out` from the arguments after the program name. Returns an empty text on success, or
// what is wrong with the command line.
std::wstring parseHostOptions(const std::vector<std::wstring>& args, HostOptions& out);

// What the host prints for a wrong command line.
extern const wchar_t kHostUsage[];
