// The log's open off Windows (see log_file_open.h). The name is examined without following it
// before the open, so a link or a FIFO is never opened at all, and the opened file is examined
// again and must be the very file examined, so a swap in between is caught too.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/support/log_file_open.h"
#include "common/support/utf8.h"

namespace {

bool ownedByUserOrRoot(const struct stat& st) {
    return st.st_uid == geteuid() || st.st_uid == 0;
}

bool plainFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_nlink == 1 && ownedByUserOrRoot(st);
}

}  // namespace

bool openLogFile(File& file, const char16_t* path, FileOpen how) {
    file.close();
    if (path == nullptr || path[0] == 0) return false;
    std::string native = utf8FromWide(path);
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    struct stat named;
    if (lstat(native.c_str(), &named) != 0 || !plainFile(named)) return false;
    if (!file.open(path, how)) return false;
    struct stat opened;
    if (fstat(static_cast<int>(file.handleValue()), &opened) != 0 || !plainFile(opened) ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        file.close();
        return false;
    }
    return true;
}
