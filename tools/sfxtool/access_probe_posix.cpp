// The system's own access check, for the process's effective user, without opening anything.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "tools/sfxtool/access_probe.h"

uint32_t readProblem(const std::filesystem::path& file) {
    return faccessat(AT_FDCWD, file.c_str(), R_OK, AT_EACCESS) == 0 ? 0
                                                                    : static_cast<uint32_t>(errno);
}

uint32_t createProblem(const std::filesystem::path& folder) {
    const char* path = folder.empty() ? "." : folder.c_str();
    return faccessat(AT_FDCWD, path, W_OK | X_OK, AT_EACCESS) == 0 ? 0
                                                                   : static_cast<uint32_t>(errno);
}
