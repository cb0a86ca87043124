// The log in the browser: there is no disk with a log file on it, so there is never one to open.
#include "common/support/log_file_open.h"

bool openLogFile(File& file, const char16_t*, FileOpen) {
    file.close();
    return false;
}
