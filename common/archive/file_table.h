// The stored files as the engine holds them: one FileEntry per file (the values of its info
// record), in a heap table of files + 1 entries, the extra one being the writer's scratch entry.
// Names are paths, so the table is wiped before it is released.
#pragma once

#include <cstdint>

constexpr uint32_t kMaxNameChars = 259;  // a stored name holds at most this many characters
constexpr uint32_t kMaxNameBytes = 2 * kMaxNameChars;

struct FileEntry {
    uint32_t nameLength;  // bytes, twice the characters; at most kMaxNameBytes
    uint64_t size;
    char16_t name[kMaxNameChars + 1];  // zero-filled after the text
};

struct FileTable {
    FileEntry* entries = nullptr;
    uint32_t capacity = 0;  // entries held: files + 1

    FileTable() = default;
    ~FileTable() { release(); }
    FileTable(const FileTable&) = delete;
    FileTable& operator=(const FileTable&) = delete;

    // A zeroed table for `files` files (files + 1 entries); false when it cannot be had.
    bool obtain(uint32_t files);
    void release();
    bool exists() const { return entries != nullptr; }
};
