// The forms a path takes in sfxtool: as the user typed it, as the system's path type holds it,
// as it is stored in an archive (folders separated by backslashes, as Windows writes them), and
// as it is shown to people (off Windows with the slash every other path there has).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// The system's path for a path the user or the engine gave (off Windows a backslash is taken as
// a folder separator, as the engine takes it).
std::filesystem::path pathOf(const std::u16string& path);

// The path with its slashes made backslashes, as names are stored.
std::u16string withBackslashes(std::u16string path);

// A stored name as sfxtool shows it: as stored on Windows, with slashes elsewhere, and any
// invisible formatting character written out as "<U+202E>".
std::u16string shownName(std::u16string_view stored);

// The system's words for an error a std::filesystem call reported.
std::u16string reasonOf(const std::error_code& error);
