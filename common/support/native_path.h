// Paths as Windows itself takes them, for the files an extraction writes. Two habits of the
// Win32 layer would otherwise put files somewhere else than where the user asked, or nowhere:
//
// - Paths longer than 259 characters are refused unless written in the \\?\ form, which hands
//   the path to the file system as it is (no length limit short of 32767 characters, no
//   clean-up of "." or "..", of trailing dots or of slashes). A path becomes that form only
//   once it is whole and absolute.
// - A 32-bit program on 64-bit Windows that names the system folder (C:\Windows\System32) is
//   sent to its 32-bit twin (SysWOW64) unless it turns that redirection off, for the calling
//   thread, around each call.
//
// The Windows 95 family knows neither: there paths keep their 259 characters and nothing is
// redirected. Windows only.
#pragma once

#include <cstdint>

// The longest path the \\?\ form takes, in characters, without its terminator.
constexpr uint32_t kLongPathChars = 32767;

// Turns the file-system redirection of 32-bit programs off for the calling thread while it
// lives, and back on after; does nothing where there is none (64-bit programs, 32-bit Windows,
// systems before it existed).
class RedirectionOff {
  public:
    RedirectionOff();
    ~RedirectionOff();
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;

  private:
    void* previous_ = nullptr;
    bool off_ = false;
};

// `path` (relative, absolute, drive-relative, or a share \\server\share\...) as an absolute path
// in the \\?\ form (\\?\C:\... or \\?\UNC\server\share\...), without a trailing backslash unless
// it is a drive's root, into `out`, which holds `capacity` characters with the terminator.
// A path already in that form stays as it is. Where the form does not exist (the Windows 95
// family) the plain absolute path is given. The length in characters, or 0 when the path
// cannot be made absolute or does not fit.
uint32_t nativePathOf(const char16_t* path, char16_t* out, uint32_t capacity);

// Whether the system takes \\?\ paths (every Windows NT).
bool longPathsWork();
