// The signed archives that tests/tool/make-signed-fixtures.sh makes before the tests that read
// them (ctest passes their folder), and whether the readers are expected to open them yet
// (QUILLON_READS_SIGNED_IMAGES, set in tests/CMakeLists.txt). Windows only.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace gui {

constexpr wchar_t kFixturePassword[] = L"fixture pass";

// Empty when the tests run outside ctest.
inline std::filesystem::path signedFixtures() {
    const char* folder = std::getenv("QUILLON_SIGNED_FIXTURES");
    return folder != nullptr ? std::filesystem::path(folder).make_preferred()
                             : std::filesystem::path();
}

inline bool readersOpenSignedArchives() {
    const char* v = std::getenv("QUILLON_READS_SIGNED_IMAGES");
    return v != nullptr && std::string(v) == "1";
}

}  // namespace gui
