// What the system report makes of the Windows version numbers: the small classification the
// file picker and the writer branch on, and the one-line description written to the log. Both
// take the version fields as plain values, so they are the same code on every build and can be
// checked for versions no test machine runs.
#pragma once

#include <cstdint>

// osClass values.
enum : int {
    kOsUnrecognised = 0,
    kOsWindows95 = 1,
    kOsWindows98 = 2,
    kOsWindowsMe = 3,
    kOsOlder = 4,  // other 9x, NT 4 and older
    kOsWindows2000 = 5,
    kOsWindowsXp = 6,
    kOsWindowsServer2003 = 7,
    kOsWindowsVista = 8,
};

// Platform ids as GetVersionEx gives them.
enum : uint32_t {
    kPlatformWin32s = 0,
    kPlatformWindows9x = 1,
    kPlatformWindowsNt = 2,
};

int osClassOf(uint32_t platformId, uint32_t major, uint32_t minor);

// The fields of the version structures the description reads. The suite mask and the product
// type exist only in the extended structure.
struct OsVersionFields {
    uint32_t platformId;
    uint32_t major;
    uint32_t minor;
    uint32_t buildNumber;
    char16_t servicePack[128];  // zero-terminated, as the system fills it
    bool extended;
    uint16_t suiteMask;
    uint8_t productType;  // 1 workstation, 2 domain controller, 3 server
};

// The two registry facts the description may need, asked for only when it does.
struct OsRegistryQueries {
    // The ProductOptions "ProductType" value into `out` (zero-terminated); false when the key or
    // the value cannot be read or the value does not fit in `capacity` characters.
    bool (*productType)(char16_t* out, uint32_t capacity);
    // Whether the hotfix key that turns Service Pack 6 into 6a exists.
    bool (*hasQ246009)();
};

// Builds the description into `out` (at most capacity - 1 characters). False means no text:
// the extended fields are missing and the product type cannot be read.
bool describeOs(const OsVersionFields& version, const OsRegistryQueries& registry, char16_t* out,
                uint32_t capacity);
