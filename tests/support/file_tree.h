// Small helpers for tests that put files on disk and read them back.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace file_tree {

// An engine path (UTF-16, backslashes) as a path of this platform.
inline std::filesystem::path native(const std::u16string& enginePath) {
    std::u16string p = enginePath;
#ifndef _WIN32
    for (char16_t& c : p) {
        if (c == u'\\') c = u'/';
    }
#endif
    return std::filesystem::path(p);
}

inline void put(const std::filesystem::path& file, const std::string& content) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline std::string get(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A path below root from a UTF-8 relative name with '/' separators (std::string paths would be
// read in the ANSI code page on Windows).
inline std::filesystem::path below(const std::filesystem::path& root, const std::string& name) {
    return root / std::filesystem::path(std::u8string(name.begin(), name.end()));
}

// Every regular file under root, by its path relative to root (generic form, '/').
inline std::map<std::string, std::string> read(const std::filesystem::path& root) {
    std::map<std::string, std::string> files;
    if (!std::filesystem::exists(root)) return files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) {
            const std::u8string name = std::filesystem::relative(e.path(), root).generic_u8string();
            files[std::string(name.begin(), name.end())] = get(e.path());
        }
    }
    return files;
}

// Deterministic bytes of a given length.
inline std::string pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

}  // namespace file_tree
