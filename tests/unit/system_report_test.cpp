// The system report: the version classification, the description built from the version fields
// (for systems no test machine runs), the file-version and processor texts, and the report of
// the running system staying inside its buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/support/code_page.h"
#include "common/support/os_version.h"
#include "common/support/report_text.h"
#include "common/support/system_report.h"

namespace {

TEST(OsClass, ClassifiesEveryRowOfTheTable) {
    const uint32_t rows[][4] = {
        {1, 4, 0, 1}, {1, 4, 10, 2}, {1, 4, 90, 3}, {1, 4, 3, 4},  {1, 3, 51, 4}, {2, 3, 51, 4},
        {2, 4, 0, 4}, {2, 5, 0, 5},  {1, 5, 0, 5},  {2, 5, 1, 6},  {2, 5, 2, 7},  {2, 5, 3, 0},
        {2, 6, 0, 8}, {1, 6, 0, 8},  {2, 6, 1, 0},  {2, 10, 0, 0}, {0, 4, 0, 0},  {3, 5, 1, 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(osClassOf(r[0], r[1], r[2]), static_cast<int>(r[3]))
            << r[0] << " " << r[1] << "." << r[2];
    }
}

// The registry as the description sees it, counting the questions asked.
int g_registryReads;
const char16_t* g_productType;  // null: unreadable
bool g_hotfix;

bool productType(char16_t* out, uint32_t capacity) {
    ++g_registryReads;
    if (g_productType == nullptr || wideLength(g_productType) >= capacity) return false;
    std::memcpy(out, g_productType, (wideLength(g_productType) + 1) * sizeof(char16_t));
    return true;
}
bool hotfix() {
    ++g_registryReads;
    return g_hotfix;
}

OsVersionFields version(uint32_t platform, uint32_t major, uint32_t minor, uint32_t build,
                        const char16_t* sp, uint8_t type = 1, uint16_t suite = 0) {
    OsVersionFields v{platform, major, minor, build, {}, true, suite, type};
    std::memcpy(v.servicePack, sp, (wideLength(sp) + 1) * sizeof(char16_t));
    return v;
}

std::u16string describe(const OsVersionFields& v, uint32_t capacity = 260) {
    char16_t out[262];
    out[capacity] = u'#';
    const bool text = describeOs(v, OsRegistryQueries{productType, hotfix}, out, capacity);
    EXPECT_EQ(out[capacity], u'#') << "written past the buffer";
    return text ? out : u"<none>";
}

TEST(OsDescription, NtNamesEditionsServicePackAndBuild) {
    g_registryReads = 0;
    EXPECT_EQ(describe(version(2, 5, 1, 2600, u"Service Pack 2")),
              u"Microsoft Windows XP Professional Service Pack 2 (Build 2600)");
    EXPECT_EQ(describe(version(2, 5, 1, 2600, u"Service Pack 3", 1, 0x0200)),
              u"Microsoft Windows XP Home Edition Service Pack 3 (Build 2600)");
    EXPECT_EQ(describe(version(2, 6, 0, 6002, u"SP2")),
              u"Microsoft Windows Vista Professional SP2 (Build 6002)");
    EXPECT_EQ(describe(version(2, 6, 1, 7601, u"Service Pack 1")),
              u"Professional Service Pack 1 (Build 7601)")
        << "a version after Vista gets no name";
    EXPECT_EQ(describe(version(2, 5, 0, 0x05000893, u"", 2)),
              u"Microsoft Windows 2000  (Build 2195)")
        << "a domain controller has no edition; the build is the low 16 bits";
    EXPECT_EQ(g_registryReads, 0) << "the extended fields need no registry";

    // Server editions by version and suite, with the name and build around them.
    const struct {
        uint32_t major, minor;
        uint16_t suite;
        const char16_t* edition;
    } servers[] = {
        {5, 2, 0x0082, u"Datacenter Edition "},
        {5, 2, 0x0002, u"Enterprise Edition "},
        {5, 2, 0x0400, u"Web Edition "},
        {5, 2, 0x0410, u"Standard Edition "},
        {5, 0, 0x0080, u"Datacenter Server "},
        {5, 0, 0x0002, u"Advanced Server "},
        {5, 0, 0x0400, u"Server "},
        {4, 0, 0x0002, u"Server 4.0, Enterprise Edition "},
        {4, 0, 0x0000, u"Server 4.0 "},
        {6, 1, 0x0000, u"Server 4.0 "},
    };
    for (const auto& s : servers) {
        const std::u16string text = describe(version(2, s.major, s.minor, 9, u"", 3, s.suite));
        const std::u16string tail = std::u16string(s.edition) + u" (Build 9)";
        ASSERT_GE(text.size(), tail.size());
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << s.major << "." << s.minor;
    }
}

TEST(OsDescription, Nt4ServicePack6aNeedsTheHotfixKey) {
    g_registryReads = 0;
    g_hotfix = true;
    EXPECT_EQ(describe(version(2, 4, 0, 1381, u"service pack 6")),
              u"Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)\n");
    g_hotfix = false;
    EXPECT_EQ(describe(version(2, 4, 0, 1381, u"Service Pack 6")),
              u"Microsoft Windows NT Workstation 4.0 Service Pack 6 (Build 1381)");
    EXPECT_EQ(g_registryReads, 2);
    g_hotfix = true;
    EXPECT_EQ(describe(version(2, 5, 0, 2195, u"Service Pack 6")),
              u"Microsoft Windows 2000 Professional Service Pack 6 (Build 2195)");
    EXPECT_EQ(describe(version(2, 4, 0, 1381, u"Service Pack 5")),
              u"Microsoft Windows NT Workstation 4.0 Service Pack 5 (Build 1381)");
    EXPECT_EQ(g_registryReads, 2) << "the key matters only on NT 4 with Service Pack 6";
}

TEST(OsDescription, WithoutExtendedFieldsTheEditionComesFromTheRegistry) {
    OsVersionFields v = version(2, 4, 0, 1381, u"Service Pack 3", 0);
    v.extended = false;
    const char16_t* cases[][2] = {
        {u"lanmanNT", u"Microsoft Windows NT Server 4.0 Service Pack 3 (Build 1381)"},
        {u"WinNT", u"Microsoft Windows NT Workstation 4.0 Service Pack 3 (Build 1381)"},
        {u"ServerNT", u"Microsoft Windows NT Advanced Server 4.0 Service Pack 3 (Build 1381)"},
        {u"Other", u"Microsoft Windows NT 4.0 Service Pack 3 (Build 1381)"},
        {nullptr, u"<none>"},  // an unreadable product type gives no text at all
    };
    for (const auto& c : cases) {
        g_productType = c[0];
        EXPECT_EQ(describe(v), c[1]);
    }
}

TEST(OsDescription, NineXFamilyWin32sAndTheCut) {
    const struct {
        uint32_t minor;
        const char16_t* servicePack;
        const char16_t* text;
    } cases[] = {
        {10, u" A ", u"Microsoft Windows 98 SE "},
        {10, u"", u"Microsoft Windows 98 "},
        {10, u"A", u"Microsoft Windows 98 "},
        {0, u" C", u"Microsoft Windows 95 OSR2 "},
        {0, u" B", u"Microsoft Windows 95 OSR2 "},
        {0, u" A", u"Microsoft Windows 95 "},
        {90, u" ", u"Microsoft Windows Millennium Edition"},
        {20, u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describe(version(1, 4, c.minor, 0x040A08AE, c.servicePack)), c.text);
    }
    EXPECT_EQ(describe(version(1, 3, 0, 0, u"")), u"");
    EXPECT_EQ(describe(version(0, 3, 10, 0, u"")), u"Microsoft Win32s");
    EXPECT_EQ(describe(version(3, 5, 1, 0, u"")), u"");

    const std::u16string longPack(127, u'x');
    EXPECT_EQ(describe(version(2, 5, 2, 3790, longPack.c_str(), 3), 100).size(), 99u);
}

TEST(ReportText, FileVersionsAndTheProcessorLine) {
    char16_t out[130];
    const struct {
        uint16_t a, b, c, d;
        const char16_t* text;
    } versions[] = {
        {5, 1, 2600, 0, u"5.01.2600"}, {1, 0, 0, 0, u"1.00"},
        {3, 12, 0, 7, u"3.12.0.7"},    {10, 9, 0, 0, u"10.09"},
        {0, 0, 5, 0, u"0.00.5"},       {65535, 65535, 65535, 65535, u"65535.65535.65535.65535"},
    };
    for (const auto& v : versions) {
        formatFileVersion(v.a, v.b, v.c, v.d, out, 32);
        EXPECT_EQ(std::u16string(out), v.text);
    }

    describeCpu(CpuFacts{u"Fast CPU", u"x86 Family 6", u"GenuineIntel", true, 2400}, out, 128);
    EXPECT_EQ(std::u16string(out), u"Fast CPU x86 Family 6 GenuineIntel 2400");
    describeCpu(CpuFacts{nullptr, u"", u"AuthenticAMD", false, 0}, out, 128);
    EXPECT_EQ(std::u16string(out), u"AuthenticAMD ") << "missing parts are left out";
    const std::u16string part(60, u'p');
    out[128] = u'#';
    describeCpu(CpuFacts{part.c_str(), part.c_str(), part.c_str(), true, 9999}, out, 128);
    EXPECT_EQ(wideLength(out), 127u);
    EXPECT_EQ(out[128], u'#') << "written past the buffer";
}

TEST(SystemReport, TheRunningSystemFitsTheBuffersAndNamesTheProgram) {
    for (const char16_t* text : {osDescription(), uiLanguage(), cpuDescription()}) {
        if (text != nullptr) {
            EXPECT_LT(wideLength(text), 260u);
        }
    }
    if (browserVersion() != nullptr) {
        EXPECT_LT(wideLength(browserVersion()), kBrowserVersionRoom);
    }
    ASSERT_NE(osDescription(), nullptr);
    EXPECT_GT(wideLength(osDescription()), 0u);
    const std::u16string memory = memorySize();
    const size_t digits = memory.find_first_not_of(u"0123456789");
    EXPECT_GT(digits, 0u) << "a number first";
    EXPECT_EQ(memory.substr(digits), u" MB RAM");

    char16_t path[kModuleInfoRoom], name[kModuleInfoRoom];
    moduleInfo(nullptr, nullptr, path, nullptr, name, nullptr, nullptr);
    EXPECT_NE(std::u16string(path).find(u"system_report_test"), std::u16string::npos);
#ifndef _WIN32
    EXPECT_EQ(std::u16string(name), u"Unknown");
#endif
}

}  // namespace
