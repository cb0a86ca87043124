// Files as the engine and the log use them: open, create, read, write, seek, size, reserve,
// delete, make a folder. Paths are UTF-16. On Windows these are the wide CreateFile family with
// the access and sharing each caller asks for; elsewhere POSIX calls on the UTF-8 form of the
// path, where a backslash is taken as a folder separator too.
#pragma once

#include <cstdint>

#include "common/support/platform_types.h"

enum class FileOpen {
    kReadShared,       // read access, others may read, existing file only
    kReadWriteShared,  // read and write access, others may read, existing file only
};

// Which file an open handle or a name is, whatever path reached it: device and inode on POSIX,
// volume serial number and file index on Windows. Two names of one file (hard links included)
// give the same identity.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool known = false;

    bool sameAs(const FileIdentity& other) const {
        return known && other.known && volume == other.volume && index == other.index;
    }
};

enum class FileCreate {
    kExclusive,   // all access, no sharing, always created anew
    kReadShared,  // all access, others may read, always created anew
    kNew,         // all access, no sharing; only where nothing (not even a link) is yet
};

class File {
  public:
    File() = default;
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool open(const char16_t* path, FileOpen how);
    // The same through the ANSI form of the call, for the Windows 95, 98 and Me family, whose
    // wide file calls are not the system's own. A path whose ANSI form does not fit 259 bytes
    // does not open (a cut path could name another file). Elsewhere the same as open.
    bool openAnsi(const char16_t* path, FileOpen how);
    bool create(const char16_t* path, FileCreate how);
    void close();
    bool isOpen() const { return handle_ != kClosed; }

    // Bytes read (0 at the end of the file), or -1 on failure.
    int64_t read(void* buffer, uint32_t bytes);
    // Exactly `bytes` bytes, however the platform splits the read; false at the end of the file
    // or on failure. Here rather than in file_io.cpp, which not every platform's build links.
    bool readAll(void* buffer, uint32_t bytes) {
        uint8_t* out = static_cast<uint8_t*>(buffer);
        for (uint32_t done = 0; done < bytes;) {
            const int64_t n = read(out + done, bytes - done);
            if (n <= 0) return false;
            done += static_cast<uint32_t>(n);
        }
        return true;
    }
    // readAll at `offset`.
    bool readAllAt(uint64_t offset, void* buffer, uint32_t bytes) {
        return seek(offset) && readAll(buffer, bytes);
    }
    // Bytes written, or -1 on failure.
    int64_t write(const void* buffer, uint32_t bytes);
    // The 64-bit size, or -1 on failure. For a file opened to read it may be the size the file
    // had when it was opened (POSIX looks at it then anyway): the readers of such files take
    // its size once, right after opening it.
    int64_t size();
    bool seek(uint64_t offset);
    bool seekEnd();
    // Gives the file its full size at once, before any data is written.
    bool reserve(uint64_t bytes);

    // The raw value of the handle, for log entries.
    intptr_t handleValue() const { return handle_; }
    // Takes over a handle opened elsewhere (by the destination tree).
    void adopt(intptr_t handle) {
        close();
        handle_ = handle;
    }
    // Which file this is; false when the system cannot tell.
    bool identity(FileIdentity& out);
    // When the file was last modified, in ticks (file_time.h); false when the system cannot
    // tell (and in the browser, whose files have no time the engine may set).
    bool modifiedTime(uint64_t& ticks);
    // Sets that time; to be called after the last write, which would otherwise move it again.
    bool setModifiedTime(uint64_t ticks);

  private:
    static constexpr intptr_t kClosed = -1;
    intptr_t handle_ = kClosed;
    intptr_t sizeObject_ = 0;  // Windows: the file-mapping object that holds the reserved size
    int64_t openedSize_ = -1;  // POSIX: the size a file opened to read had then, or -1
};

bool deleteFile(const char16_t* path);
// Moves a finished file into place, replacing what is there.
bool replaceFile(const char16_t* from, const char16_t* to);
// One folder level; fails (harmlessly) when it exists.
bool createFolder(const char16_t* path);
// When the file or folder at `path` was last modified, in ticks (file_time.h). False when it
// cannot be told.
bool pathModifiedTime(const char16_t* path, uint64_t& ticks);

// The calling thread's last system error (GetLastError, or errno elsewhere), and a way to put
// it back, so that logging never disturbs what a caller is about to report.
uint32_t lastSystemError();
void setLastSystemError(uint32_t error);
