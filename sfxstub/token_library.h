// The token library hwtok32.dll as the extractor carries and uses it: written out of the
// program's own resource HWTOKEN at start-up, bound by its 35 names, and deleted at exit.
//
// The copy is always loaded by its full path, never by bare name: the loader looks in the
// program's own folder first, and a self-extracting archive usually sits in a download folder
// where anybody may have left a file called hwtok32.dll. The full path written at start-up is
// remembered with the placement, so exit deletes exactly that file even after the folder browser
// has changed the current directory.
//
// In such a folder another user could also replace the copy between its writing and its loading.
// So the written file is held open from just after it is written until the loader has it, with a
// sharing mode that lets others read it but neither write, delete nor rename it, and its bytes
// are compared with the program's own resource before it is loaded. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "hwtok/token_api.h"

// Where start-up put the library file.
enum class LibraryPlacement : int32_t {
    kNone = 0,              // nothing written: resource missing or both places failed
    kCurrentDirectory = 1,  // written into the current directory; deleted at exit
    kSystemDirectory = 2,   // written into the system directory; deleted at exit
    kPreinstalled = -1,     // a copy already in the system directory, used as it is, kept
};

// An open handle on the written library that others may share for reading only: while it is
// open nobody can write, delete or rename the file. Closed when released or destroyed.
struct HeldFile {
    HANDLE handle = INVALID_HANDLE_VALUE;

    HeldFile() = default;
    ~HeldFile() { release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    HeldFile(HeldFile&& other) noexcept : handle(other.handle) {
        other.handle = INVALID_HANDLE_VALUE;
    }
    HeldFile& operator=(HeldFile&& other) noexcept {
        if (this != &other) {
            release();
            handle = other.handle;
            other.handle = INVALID_HANDLE_VALUE;
        }
        return *this;
    }

    bool held() const { return handle != INVALID_HANDLE_VALUE; }
    void release() {
        if (held()) CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
};

// The placement and the full path of the copy to load: the file written, or the preinstalled
// copy. With kNone the path is that of a copy in the system directory, which may or may not
// exist (an installed library); it is never written nor deleted.
struct TokenLibraryFile {
    LibraryPlacement placement = LibraryPlacement::kNone;
    wchar_t path[MAX_PATH] = {};
    // The bytes written (the program's own resource, mapped for the life of the process), so
    // exit deletes the file only while it is still our copy.
    const void* image = nullptr;
    uint32_t imageSize = 0;
    // The written file, held until bindTokenLibrary has loaded it (or removeTokenLibrary runs).
    HeldFile hold;
};

// The 35 entry points, in binding order, and typed access to the nine the extractor calls.
// Process-wide: filled by bindTokenLibrary on the interface thread, only read afterwards. Every
// entry is null when binding failed.
struct TokenApi {
    void* entries[35] = {};

    bool bound() const { return entries[0] != nullptr; }
    token::EnumReadersFn enumReaders() const { return as<token::EnumReadersFn>(0); }
    token::InitReaderFn initReader() const { return as<token::InitReaderFn>(1); }
    token::CloseReaderFn closeReader() const { return as<token::CloseReaderFn>(2); }
    token::InitCardFn initCard() const { return as<token::InitCardFn>(3); }
    token::CloseCardFn closeCard() const { return as<token::CloseCardFn>(4); }
    token::VerifyPinFn verifyPin() const { return as<token::VerifyPinFn>(5); }
    token::ReadDataFn readData() const { return as<token::ReadDataFn>(8); }
    token::IsDataExistFn isDataExist() const { return as<token::IsDataExistFn>(15); }
    token::ReadLabelFn readLabel() const { return as<token::ReadLabelFn>(21); }

  private:
    template <typename Fn>
    Fn as(int index) const {
        return reinterpret_cast<Fn>(entries[index]);
    }
};

// The process's bound entry points.
TokenApi& tokenApi();

// Writes the library out of `ownModule`'s HWTOKEN resource: into the current directory, or
// failing that into the system directory (where an existing copy is used unchanged instead).
// A current directory that is the system directory counts as the system directory.
TokenLibraryFile writeTokenLibrary(HMODULE ownModule);

// Loads the copy `file` names, by its full path, and binds all 35 entry points. True when all
// are bound; `module` then holds the library, otherwise null, every entry is absent and the last
// error of the failure is kept. A copy start-up wrote is loaded only while it is still held and
// holds exactly the bytes written (otherwise the error is ERROR_FILE_INVALID); the hold is
// released once the loader has the file.
bool bindTokenLibrary(TokenLibraryFile& file, HMODULE* module);

// Deletes the file start-up wrote (current or system directory placement), by the path
// remembered then; nothing for the other placements. A file that no longer holds the bytes
// written (the user extracted a file of that name over it) is the user's now and stays. Call
// after the library is unloaded. Releases a hold that binding left.
void removeTokenLibrary(TokenLibraryFile& file);
