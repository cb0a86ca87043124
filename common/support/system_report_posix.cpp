// The system report off Windows: the nearest equivalents, so that a log written on Linux says
// as much about the machine. uname for the system, the locale variables for the language,
// /proc/cpuinfo for the processor, sysconf for the memory, /proc/self/exe for the program. There
// is no browser to report, and programs carry no version resource.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "common/support/os_version.h"
#include "common/support/report_text.h"
#include "common/support/system_report.h"
#include "common/support/utf8.h"
#include "common/support/wide_format.h"

namespace {

// One "key : value" field of the first processor in /proc/cpuinfo.
struct CpuInfoField {
    const char* key;
    std::string value;
};

void readCpuInfo(FILE* file, CpuInfoField* fields, int count) {
    char line[1024];
    bool inFirst = false;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        const size_t length = std::strcspn(line, "\r\n");
        line[length] = 0;
        if (length == 0) {
            if (inFirst) return;  // the first processor's block has ended
            continue;
        }
        inFirst = true;
        char* colon = std::strchr(line, ':');
        if (colon == nullptr) continue;
        char* keyEnd = colon;
        while (keyEnd > line && (keyEnd[-1] == ' ' || keyEnd[-1] == '\t')) --keyEnd;
        *keyEnd = 0;
        const char* value = colon + 1;
        while (*value == ' ' || *value == '\t') ++value;
        for (int i = 0; i < count; ++i) {
            if (std::strcmp(line, fields[i].key) == 0 && fields[i].value.empty()) {
                fields[i].value = value;
            }
        }
    }
}

}  // namespace

int osClass() {
    return kOsUnrecognised;
}

const char16_t* osDescription() {
    static char16_t result[kOsDescriptionRoom];
    result[0] = 0;
    utsname names{};
    if (uname(&names) != 0) return nullptr;
    const std::u16string text = wideFromUtf8(std::string(names.sysname) + " " + names.release +
                                             " " + names.version + " " + names.machine);
    formatWide(result, kOsDescriptionRoom, u"%s", text.c_str());
    return result;
}

const char16_t* uiLanguage() {
    static char16_t result[kUiLanguageRoom];
    result[0] = 0;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != 0) {
            formatWide(result, kUiLanguageRoom, u"%s", wideFromUtf8(value).c_str());
            return result;
        }
    }
    return nullptr;
}

const char16_t* browserVersion() {
    return nullptr;
}

const char16_t* cpuDescription() {
    static char16_t result[kCpuDescriptionRoom];
    result[0] = 0;
    FILE* file = std::fopen("/proc/cpuinfo", "re");
    if (file == nullptr) return nullptr;
    enum { kName, kVendor, kFamily, kModel, kStepping, kMhz, kCount };
    CpuInfoField fields[kCount] = {{"model name", {}}, {"vendor_id", {}}, {"cpu family", {}},
                                   {"model", {}},      {"stepping", {}},  {"cpu MHz", {}}};
    readCpuInfo(file, fields, kCount);
    std::fclose(file);

    const std::u16string name = wideFromUtf8(fields[kName].value);
    const std::u16string vendor = wideFromUtf8(fields[kVendor].value);
    std::u16string identifier;
    if (!fields[kFamily].value.empty() && !fields[kModel].value.empty() &&
        !fields[kStepping].value.empty()) {
        // The form Windows gives the same facts in, e.g. "x86_64 Family 6 Model 158 Stepping 10".
        utsname names{};
        const std::string machine = uname(&names) == 0 ? names.machine : "";
        identifier = wideFromUtf8(machine + " Family " + fields[kFamily].value + " Model " +
                                  fields[kModel].value + " Stepping " + fields[kStepping].value);
    }
    CpuFacts cpu{name.c_str(), identifier.c_str(), vendor.c_str(), false, 0};
    if (!fields[kMhz].value.empty()) {
        cpu.hasMhz = true;
        cpu.mhz = static_cast<uint32_t>(std::strtoul(fields[kMhz].value.c_str(), nullptr, 10));
    }
    describeCpu(cpu, result, kCpuDescriptionRoom);
    return result;
}

const char16_t* memorySize() {
    static char16_t result[kMemorySizeRoom];
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    const long megabytes =
        pages > 0 && pageSize > 0
            ? static_cast<long>((static_cast<unsigned long long>(pages) * pageSize) >> 20)
            : 0;
    formatWide(result, kMemorySizeRoom, u"%ld MB RAM", megabytes);
    return result;
}

void moduleInfo(ModuleHandle, char16_t* fileVersion, char16_t* path, char16_t* description,
                char16_t* productName, char16_t* productVersion, char16_t* legalNotice) {
    for (char16_t* out : {fileVersion, description, productName, productVersion, legalNotice}) {
        if (out != nullptr) formatWide(out, kModuleInfoRoom, u"Unknown");
    }
    if (path == nullptr) return;
    char program[4096];
    const ssize_t n = readlink("/proc/self/exe", program, sizeof program - 1);
    if (n <= 0) {
        formatWide(path, kModuleInfoRoom, u"Unknown");
        return;
    }
    program[n] = 0;
    formatWide(path, kModuleInfoRoom, u"%s", wideFromUtf8(program).c_str());
}
