// The system report in the browser: the page writes no log, so there is nothing to describe. The
// writer asks osClass whether to use the ANSI file calls of the Windows 95 family: no.
#include <initializer_list>

#include "common/support/os_version.h"
#include "common/support/system_report.h"
#include "common/support/wide_format.h"

int osClass() {
    return kOsUnrecognised;
}

const char16_t* osDescription() {
    return nullptr;
}

const char16_t* uiLanguage() {
    return nullptr;
}

const char16_t* browserVersion() {
    return nullptr;
}

const char16_t* cpuDescription() {
    return nullptr;
}

const char16_t* memorySize() {
    static char16_t result[kMemorySizeRoom];
    formatWide(result, kMemorySizeRoom, u"Unknown");
    return result;
}

void moduleInfo(ModuleHandle, char16_t* fileVersion, char16_t* path, char16_t* description,
                char16_t* productName, char16_t* productVersion, char16_t* legalNotice) {
    for (char16_t* out :
         {fileVersion, path, description, productName, productVersion, legalNotice}) {
        if (out != nullptr) formatWide(out, kModuleInfoRoom, u"Unknown");
    }
}
