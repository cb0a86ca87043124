// The system report against the real system under Wine: osClass, the description and the
// language for many Windows versions, each through a copy of report_probe.exe given its own
// version in Wine's per-program settings (the prefix-wide version stays as it is for the tests
// running beside this one); and the version details of modules with a whole version resource
// (this program), a partial one, and none.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/support/system_report.h"
#include "common/support/utf8.h"
#include "tests/support/temp_folder.h"

namespace {

std::string besideThisProgram(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\') + 1) + name;
}

std::string narrow(const char16_t* text) {
    return text != nullptr ? utf8FromWide(text) : "<none>";
}

// Wine reads the Windows version a program sees from this key, named after the program file.
bool setProgramVersion(const std::string& key, const std::string& version) {
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool set =
        RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                       static_cast<DWORD>(version.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return set;
}

std::string runAndRead(const std::string& program) {
    std::string out;
    if (FILE* pipe = _popen(("\"" + program + "\"").c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, pipe) != nullptr) out += line;
        _pclose(pipe);
    }
    return out;
}

TEST(OsClass, EachEmulatedWindowsVersion) {
    const struct {
        const char* version;
        int osClass;
        const char* description;
        bool language;  // the 95/98 and NT 4 classes report none
    } cases[] = {
        {"win95", 1, "Microsoft Windows 95 ", false},
        {"win98", 2, "Microsoft Windows 98 SE ", false},
        {"winme", 3, "Microsoft Windows Millennium Edition", true},
        {"nt40", 4, "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)", false},
        {"win2k", 5, "Microsoft Windows 2000 Professional Service Pack 4 (Build 2195)", true},
        {"winxp", 6, "Microsoft Windows XP Professional Service Pack 3 (Build 2600)", true},
        {"win2003", 7,
         "Microsoft Windows Server 2003 family, Standard Edition Service Pack 2 (Build 3790)",
         true},
        {"vista", 8, "Microsoft Windows Vista Professional Service Pack 2 (Build 6002)", true},
        // 6.1 has no name. Wine 8 gives "win7" the server product type, whose edition text for
        // versions other than 5.0 and 5.2 is the NT 4 one.
        {"win7", 0, "Server 4.0 Service Pack 1 (Build 7601)", true},
    };
    TempFolder dir;
    const std::string probe = besideThisProgram("report_probe.exe");
    for (const auto& c : cases) {
        const std::string name = std::string("quillon_report_probe_") + c.version + ".exe";
        const std::string copy = utf8FromWide(dir.path()) + "\\" + name;
        const std::string key = "Software\\Wine\\AppDefaults\\" + name;
        ASSERT_TRUE(CopyFileA(probe.c_str(), copy.c_str(), FALSE));
        ASSERT_TRUE(setProgramVersion(key, c.version));
        const std::string out = runAndRead(copy);
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        EXPECT_EQ(out.rfind("class=" + std::to_string(c.osClass) +
                                "\ndescription=" + c.description + "\nlanguage=",
                            0),
                  0u)
            << c.version << ":\n"
            << out;
        EXPECT_EQ(out.find("language=<none>") == std::string::npos, c.language) << out;
    }
}

TEST(SystemReport, LanguageBrowserAndProcessorOfThisSystem) {
    // This program runs as the prefix's default version, a class that names the language.
    char16_t expected[260] = {};
    VerLanguageNameW(GetSystemDefaultUILanguage(), reinterpret_cast<wchar_t*>(expected), 260);
    EXPECT_EQ(narrow(uiLanguage()), narrow(expected));
    EXPECT_EQ(narrow(browserVersion()).rfind("Microsoft Internet Explorer 9.", 0), 0u)
        << narrow(browserVersion());
    EXPECT_NE(narrow(cpuDescription()), "<none>");
}

// Everything moduleInfo gives for one module.
struct ModuleTexts {
    explicit ModuleTexts(ModuleHandle module) {
        moduleInfo(module, version, path, description, name, productVersion, legal);
    }
    char16_t version[kModuleInfoRoom], path[kModuleInfoRoom], description[kModuleInfoRoom],
        name[kModuleInfoRoom], productVersion[kModuleInfoRoom], legal[kModuleInfoRoom];
};

TEST(ModuleInfo, WholeVersionResourceOfTheProgram) {
    for (ModuleHandle module : {ModuleHandle{nullptr}, ModuleHandle{GetModuleHandleW(nullptr)}}) {
        const ModuleTexts t(module);
        EXPECT_EQ(narrow(t.path), besideThisProgram("system_report_system_test.exe"));
        EXPECT_EQ(narrow(t.version), "3.12.0.7");
        EXPECT_EQ(narrow(t.description), "Quillon report test");
        EXPECT_EQ(narrow(t.name), "Quillon SFX tests");
        EXPECT_EQ(narrow(t.productVersion), "3.12 beta");
        EXPECT_EQ(narrow(t.legal), "Copyright (C) Quillon test team");
    }
}

TEST(ModuleInfo, ReadingStopsAtTheFirstMissingValue) {
    const std::string library = besideThisProgram("report_partial_version.dll");
    HMODULE module = LoadLibraryA(library.c_str());
    ASSERT_NE(module, nullptr);
    const ModuleTexts t(module);
    FreeLibrary(module);
    EXPECT_EQ(narrow(t.path), library);
    EXPECT_EQ(narrow(t.name), "Partly described") << "read before the missing value";
    EXPECT_EQ(narrow(t.productVersion), "Unknown");
    EXPECT_EQ(narrow(t.description), "Unknown") << "present, but after the missing value";
    EXPECT_EQ(narrow(t.legal), "Unknown");
    EXPECT_EQ(narrow(t.version), "Unknown") << "given only when all four were found";
}

TEST(ModuleInfo, NoVersionResourceStillGivesThePath) {
    const std::string probe = besideThisProgram("report_probe.exe");
    HMODULE module = LoadLibraryA(probe.c_str());
    ASSERT_NE(module, nullptr);
    const ModuleTexts t(module);
    FreeLibrary(module);
    EXPECT_EQ(narrow(t.path), probe);
    for (const char16_t* out : {t.version, t.description, t.name, t.productVersion, t.legal}) {
        EXPECT_EQ(narrow(out), "Unknown");
    }
}

}  // namespace
