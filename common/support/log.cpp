// The log's process-wide state, the search for the log file at start, and the
// open-append-close of each entry.
#include "common/support/log.h"

#include <cstdarg>

#include "common/support/clock.h"
#include "common/support/code_page.h"
#include "common/support/drive_roots.h"
#include "common/support/file_io.h"
#include "common/support/log_entry.h"
#include "common/support/log_file_open.h"
#include "common/support/secure_zero.h"
#include "common/support/system_report.h"
#include "common/support/wide_format.h"
#include "quillon_version.h"

namespace {

constexpr uint32_t kLogPathRoom = 260;

char16_t g_logPath[kLogPathRoom];  // set once by initLog, never changed after
uint32_t g_logLevel;               // 0: off

constexpr const char* kInitTag = "init_log";

void appendToLog(const char16_t* entry, uint32_t units) {
    File file;
    // Checked at every entry: a link put in the file's place after the start is no log either.
    if (!openLogFile(file, g_logPath, FileOpen::kReadWriteShared)) return;
    uint8_t ansi[kLogEntryRoom];  // always keeps a final zero
    const uint32_t bytes = ansiFromWide(entry, units, ansi, kLogEntryRoom - 1);
    ansi[bytes] = 0;
    if (file.size() >= 0 && file.seekEnd()) file.write(ansi, bytes);
    file.close();
    secureZero(ansi, sizeof ansi);
}

// The level the first byte of the file asks for: a digit is its value, anything else turns the
// log off, and an empty file means level 3. A file that cannot be read leaves the log off.
uint32_t readLogLevel(File& file) {
    uint8_t first = 0;
    const int64_t got = file.read(&first, 1);
    if (got == 0) return 3;
    if (got == 1 && first >= '0' && first <= '9') return first - '0';
    return 0;
}

// Opens the first "<root><name>.log" on a fixed disk; the path keeps the last name tried. A name
// that is a link, or a file with other names, counts as no file (see log_file_open.h).
bool findLogFile(const char16_t* logName, File& file) {
    char16_t roots[kDriveRootsRoom];
    if (!listDriveRoots(roots, kDriveRootsRoom)) return false;
    for (const char16_t* root = roots; *root != 0; root += wideLength(root) + 1) {
        if (!isFixedDisk(root)) continue;
        formatWide(g_logPath, kLogPathRoom, u"%s%s.log", root, logName);
        if (openLogFile(file, g_logPath, FileOpen::kReadShared)) return true;
    }
    return false;
}

void logModule(ModuleHandle module, const char16_t* const formats[4]) {
    char16_t path[kModuleInfoRoom], version[kModuleInfoRoom], productVersion[kModuleInfoRoom],
        productName[kModuleInfoRoom];
    moduleInfo(module, version, path, nullptr, productName, productVersion, nullptr);
    logLine(2, kInitTag, formats[0], path);
    logLine(2, kInitTag, formats[1], version);
    logLine(2, kInitTag, formats[2], productVersion);
    logLine(2, kInitTag, formats[3], productName);
    secureZero(path, sizeof path);
}

const char16_t* orEmpty(const char16_t* text) {
    return text != nullptr ? text : u"";
}

}  // namespace

void initLog(const char16_t* logName, const ModuleHandle* modules, uint32_t count) {
    if (wideLength(g_logPath) > 5) return;
    g_logLevel = 0;
    File file;
    if (!findLogFile(logName != nullptr ? logName : u"", file)) return;
    g_logLevel = readLogLevel(file);
    file.close();
    // Everything below is level 2; below that level it would all be filtered out.
    if (g_logLevel < 2) return;

    // The banner names the build, so a log sent in says which version wrote it.
    logLine(2, kInitTag, u"\n\nSTART LOGFILE Quillon SFX " QUILLON_VERSION_TEXT);
    static const char16_t* const kProgramFormats[4] = {u"Path:%s", u"version:%s", u"p version:%s",
                                                       u"p name:%s"};
    logModule(nullptr, kProgramFormats);
    logLine(2, kInitTag, u"%s", orEmpty(osDescription()));
    logLine(2, kInitTag, u"%s", orEmpty(uiLanguage()));
    logLine(2, kInitTag, u"%s", orEmpty(browserVersion()));
    logLine(2, kInitTag, u"%s", orEmpty(cpuDescription()));
    logLine(2, kInitTag, u"%s", orEmpty(memorySize()));
    static const char16_t* const kModuleFormats[4] = {u"Path:%s", u"version:%s",
                                                      u"product version:%s", u"product name:%s"};
    for (uint32_t i = 0; modules != nullptr && i < count; ++i)
        logModule(modules[i], kModuleFormats);
    const UtcTime now = currentUtcTime();
    logLine(2, kInitTag, u"date: %d %d %d", int{now.year}, int{now.month}, int{now.day});
}

bool logWants(int level) {
    return level >= 1 && static_cast<uint32_t>(level) <= g_logLevel;
}

int logLine(int level, const char* tag, const char16_t* format, ...) {
    const uint32_t savedError = lastSystemError();
    if (!logWants(level)) return 0;
    char16_t entry[kLogEntryRoom];
    va_list args;
    va_start(args, format);
    const uint32_t units = buildLogEntry(entry, currentUtcTime(), level, tag, format, args);
    va_end(args);
    appendToLog(entry, units);
    secureZero(entry, sizeof entry);
    setLastSystemError(savedError);
    return 1;
}

void resetLogForTesting() {
    g_logPath[0] = 0;
    g_logLevel = 0;
}
