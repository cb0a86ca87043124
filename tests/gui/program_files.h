// Files and paths for the tests that drive our programs from outside: the build passes Unix
// paths, the programs under Wine see them on drive Z:, and the tests read back what they wrote.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace gui {

namespace fs = std::filesystem;

// Under Wine the Unix root is drive Z:.
inline fs::path windowsPath(const char* unixPath) {
    std::string p = unixPath;
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    return fs::path(p).make_preferred();
}

// A path for a command line.
inline std::wstring quoted(const fs::path& p) {
    return L"\"" + p.wstring() + L"\"";
}

inline std::string contentsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes the file, creating its folders.
inline void writeFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

// Every file below `root`, by relative name, with its contents.
inline std::map<std::wstring, std::string> filesBelow(const fs::path& root) {
    std::map<std::wstring, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) files[fs::relative(e.path(), root).wstring()] = contentsOf(e);
    }
    return files;
}

}  // namespace gui
