// Whether this process may read a file, or make files in a folder, asked before create asks for
// a password, so a run that would fail part-way fails before anything is asked or written.
// The answer is the system's own: permissions, access lists and read-only mounts all count.
#pragma once

#include <cstdint>
#include <filesystem>

// 0 when the file can be opened to read, or the system's error code (for systemReason).
uint32_t readProblem(const std::filesystem::path& file);

// 0 when files can be created in the folder, or the system's error code.
uint32_t createProblem(const std::filesystem::path& folder);
