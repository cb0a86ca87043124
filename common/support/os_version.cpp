#include "common/support/os_version.h"

#include <cstdarg>

#include "common/support/wide_format.h"

namespace {

// Appends to a fixed buffer, cutting at its end.
struct Text {
    char16_t* out;
    uint32_t capacity;
    uint32_t length = 0;

    void add(const char16_t* text) { addFormat(u"%s", text); }
    void addFormat(const char16_t* format, ...) {
        va_list args;
        va_start(args, format);
        length += formatWideV(out + length, capacity - length, format, args);
        va_end(args);
    }
};

char16_t foldAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool equalsIgnoringCase(const char16_t* a, const char16_t* b) {
    while (*a != 0 && foldAscii(*a) == foldAscii(*b)) {
        ++a;
        ++b;
    }
    return foldAscii(*a) == foldAscii(*b);
}

const char16_t* ntName(uint32_t major, uint32_t minor) {
    if (major == 6 && minor == 0) return u"Microsoft Windows Vista ";
    if (major == 5 && minor == 2) return u"Microsoft Windows Server 2003 family, ";
    if (major == 5 && minor == 1) return u"Microsoft Windows XP ";
    if (major == 5 && minor == 0) return u"Microsoft Windows 2000 ";
    if (major <= 4) return u"Microsoft Windows NT ";
    return u"";
}

const char16_t* ntEdition(const OsVersionFields& v) {
    constexpr uint16_t kEnterprise = 0x0002, kDatacenter = 0x0080, kPersonal = 0x0200,
                       kBlade = 0x0400;
    if (v.productType == 1) {
        if (v.major == 4) return u"Workstation 4.0 ";
        return (v.suiteMask & kPersonal) != 0 ? u"Home Edition " : u"Professional ";
    }
    if (v.productType == 3) {
        if (v.major == 5 && v.minor == 2) {
            if ((v.suiteMask & kDatacenter) != 0) return u"Datacenter Edition ";
            if ((v.suiteMask & kEnterprise) != 0) return u"Enterprise Edition ";
            if (v.suiteMask == kBlade) return u"Web Edition ";
            return u"Standard Edition ";
        }
        if (v.major == 5 && v.minor == 0) {
            if ((v.suiteMask & kDatacenter) != 0) return u"Datacenter Server ";
            if ((v.suiteMask & kEnterprise) != 0) return u"Advanced Server ";
            return u"Server ";
        }
        return (v.suiteMask & kEnterprise) != 0 ? u"Server 4.0, Enterprise Edition "
                                                : u"Server 4.0 ";
    }
    return u"";
}

// Without the extended fields the edition comes from the registry; false means no text at all.
bool addRegistryEdition(Text& text, const OsVersionFields& v, const OsRegistryQueries& registry) {
    char16_t type[64] = {};
    if (registry.productType == nullptr || !registry.productType(type, 64)) return false;
    if (equalsIgnoringCase(type, u"WINNT")) text.add(u"Workstation ");
    if (equalsIgnoringCase(type, u"LANMANNT")) text.add(u"Server ");
    if (equalsIgnoringCase(type, u"SERVERNT")) text.add(u"Advanced Server ");
    text.addFormat(u"%u.%u ", v.major, v.minor);
    return true;
}

}  // namespace

int osClassOf(uint32_t platformId, uint32_t major, uint32_t minor) {
    if (platformId != kPlatformWindows9x && platformId != kPlatformWindowsNt) {
        return kOsUnrecognised;
    }
    if (platformId == kPlatformWindows9x && major == 4) {
        if (minor == 0) return kOsWindows95;
        if (minor == 10) return kOsWindows98;
        if (minor == 90) return kOsWindowsMe;
        return kOsOlder;
    }
    if (major < 4 || (platformId == kPlatformWindowsNt && major == 4)) return kOsOlder;
    if (major == 5) {
        if (minor == 0) return kOsWindows2000;
        if (minor == 1) return kOsWindowsXp;
        if (minor == 2) return kOsWindowsServer2003;
        return kOsUnrecognised;
    }
    if (major == 6 && minor == 0) return kOsWindowsVista;
    return kOsUnrecognised;
}

bool describeOs(const OsVersionFields& v, const OsRegistryQueries& registry, char16_t* out,
                uint32_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    out[0] = 0;
    Text text{out, capacity};
    const char16_t second = v.servicePack[0] != 0 ? v.servicePack[1] : 0;

    if (v.platformId == kPlatformWin32s) {
        text.add(u"Microsoft Win32s");
    } else if (v.platformId == kPlatformWindows9x) {
        if (v.major != 4) return true;
        if (v.minor == 0) {
            text.add(u"Microsoft Windows 95 ");
            if (second == u'C' || second == u'B') text.add(u"OSR2 ");
        } else if (v.minor == 10) {
            text.add(u"Microsoft Windows 98 ");
            if (second == u'A') text.add(u"SE ");
        } else if (v.minor == 90) {
            text.add(u"Microsoft Windows Millennium Edition");
        }
    } else if (v.platformId == kPlatformWindowsNt) {
        text.add(ntName(v.major, v.minor));
        if (v.extended) {
            text.add(ntEdition(v));
        } else if (!addRegistryEdition(text, v, registry)) {
            out[0] = 0;
            return false;
        }
        const uint32_t build = v.buildNumber & 0xFFFF;
        if (v.major == 4 && equalsIgnoringCase(v.servicePack, u"Service Pack 6") &&
            registry.hasQ246009 != nullptr && registry.hasQ246009()) {
            text.addFormat(u"Service Pack 6a (Build %u)\n", build);
        } else {
            text.addFormat(u"%s (Build %u)", v.servicePack, build);
        }
    }
    return true;
}
