// Symbolic links for tests, made however the system at hand allows. Off Windows they are the
// system's own. On Windows a link to a folder is a junction, which any user may make; a link to
// a file needs the privilege or developer mode, and is refused without. Wine (8.0) makes
// neither: it answers CreateSymbolicLink with success and makes nothing, and it has no reparse
// points to set. What it does show are the Linux symbolic links under its drives (a link to a
// folder as a reparse point, a link to a file as the file itself), so under Wine a link is
// made as the Linux system call makes it, on the Linux paths Wine gives.
#pragma once

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>
#endif

namespace link_maker {

#ifdef _WIN32

inline bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The Linux path Wine keeps a Windows path at (Wine's own export); empty when there is none.
inline std::string unixPathOf(const std::filesystem::path& path) {
    using UnixName = char*(__cdecl*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) return "";
    char* name = unixName(path.wstring().c_str());
    if (name == nullptr) return "";
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

// symlink(2), called as Linux has it: the program runs on Linux under Wine, which passes such
// calls on untouched.
inline bool linuxSymlink(const std::string& target, const std::string& link) {
    long result = -1;
#if defined(__x86_64__)
    asm volatile("syscall"
                 : "=a"(result)
                 : "a"(88L), "D"(target.c_str()), "S"(link.c_str())
                 : "rcx", "r11", "memory");
#elif defined(__i386__)
    asm volatile("int $0x80"
                 : "=a"(result)
                 : "a"(83L), "b"(target.c_str()), "c"(link.c_str())
                 : "memory");
#endif
    return result == 0;
}

// unlink(2), likewise.
inline bool linuxUnlink(const std::string& path) {
    long result = -1;
#if defined(__x86_64__)
    asm volatile("syscall" : "=a"(result) : "a"(87L), "D"(path.c_str()) : "rcx", "r11", "memory");
#elif defined(__i386__)
    asm volatile("int $0x80" : "=a"(result) : "a"(10L), "b"(path.c_str()) : "memory");
#endif
    return result == 0;
}

inline bool wineLink(const std::filesystem::path& target, const std::filesystem::path& link) {
    // The link does not exist yet: its folder's Linux path and its own name.
    const std::string folder = unixPathOf(link.parent_path());
    const std::string to = unixPathOf(target);
    if (folder.empty() || to.empty()) return false;
    const std::u8string leaf = link.filename().u8string();
    return linuxSymlink(to, folder + "/" + std::string(leaf.begin(), leaf.end()));
}

// A junction at `link` (made here, as a folder) to the folder `target`.
inline bool junction(const std::filesystem::path& target, const std::filesystem::path& link) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    const HANDLE h =
        CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const std::wstring print = std::filesystem::absolute(target).wstring();
    const std::wstring substitute = L"\\??\\" + print;
    const USHORT subBytes = static_cast<USHORT>(substitute.size() * 2);
    const USHORT printBytes = static_cast<USHORT>(print.size() * 2);
    // Tag, data length, reserved; then the mount point's offsets and lengths, then both names.
    std::vector<unsigned char> buffer(16 + subBytes + 2 + printBytes + 2);
    const ULONG tag = IO_REPARSE_TAG_MOUNT_POINT;
    const USHORT dataBytes = static_cast<USHORT>(buffer.size() - 8);
    const USHORT fields[4] = {0, subBytes, static_cast<USHORT>(subBytes + 2), printBytes};
    std::memcpy(buffer.data(), &tag, 4);
    std::memcpy(buffer.data() + 4, &dataBytes, 2);
    std::memcpy(buffer.data() + 8, fields, 8);
    std::memcpy(buffer.data() + 16, substitute.c_str(), subBytes);
    std::memcpy(buffer.data() + 16 + subBytes + 2, print.c_str(), printBytes);
    DWORD done = 0;
    const BOOL made =
        DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(),
                        static_cast<DWORD>(buffer.size()), nullptr, 0, &done, nullptr);
    CloseHandle(h);
    if (!made) RemoveDirectoryW(link.c_str());
    return made != 0;
}

#endif

// A link at `link` to the folder `target`; false where none can be made here.
inline bool folderLink(const std::filesystem::path& target, const std::filesystem::path& link) {
#ifdef _WIN32
    return underWine() ? wineLink(target, link) : junction(target, link);
#else
    std::error_code failed;
    std::filesystem::create_directory_symlink(target, link, failed);
    return !failed;
#endif
}

// A link at `link` to the file `target`; false where none can be made here (on Windows without
// the privilege or developer mode).
inline bool fileLink(const std::filesystem::path& target, const std::filesystem::path& link) {
#ifdef _WIN32
    if (underWine()) return wineLink(target, link);
    // From Vista on, so looked up (the tests build for older systems too).
    using CreateLink = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
    const auto createLink = reinterpret_cast<CreateLink>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
    constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    return createLink != nullptr &&
           createLink(link.c_str(), std::filesystem::absolute(target).c_str(), kUnprivileged) &&
           GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    std::error_code failed;
    std::filesystem::create_symlink(target, link, failed);
    return !failed;
#endif
}

// Removes a link these made, and only the link. (Under Wine a link to a folder looks like the
// folder to the file calls, and the temporary folder's clean-up would go through it.)
inline void removeLink(const std::filesystem::path& link) {
#ifdef _WIN32
    if (underWine()) {
        linuxUnlink(unixPathOf(link));
    } else if (!RemoveDirectoryW(link.c_str())) {
        DeleteFileW(link.c_str());
    }
#else
    std::error_code failed;
    std::filesystem::remove(link, failed);
#endif
}

}  // namespace link_maker
