// Windows decides access by access lists, sharing and attributes that no mode bits show, so the
// probe does what create will do: it opens the file to read as the writer does, or creates a
// file in the folder that the system deletes as it is closed (and would delete on a crash too).
#include <windows.h>

#include <string>

#include "tools/sfxtool/access_probe.h"

uint32_t readProblem(const std::filesystem::path& file) {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(h);
    return 0;
}

uint32_t createProblem(const std::filesystem::path& folder) {
    const std::filesystem::path base = folder.empty() ? std::filesystem::path(L".") : folder;
    DWORD error = ERROR_FILE_EXISTS;
    // A name taken (by a file of the user's, or another probe) is skipped.
    for (DWORD attempt = 0; attempt < 16 && error == ERROR_FILE_EXISTS; ++attempt) {
        wchar_t name[32];
        wsprintfW(name, L"~qs%08lX.tmp",
                  (GetTickCount() ^ (GetCurrentProcessId() << 12)) + attempt);
        const std::filesystem::path probe = base / name;
        HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return 0;
        }
        error = GetLastError();
    }
    return error;
}
