// What the five Windows binaries carry besides their code, read from the built files as Windows
// reads them: each one's version block holds the product's version; the extractor's and the test
// host's manifests ask for per-monitor DPI awareness with its fallbacks and name the supported
// systems; and the extractor's icons hold an image at each size they are shown at on a 96 DPI
// screen, so none is drawn scaled.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "quillon_version.h"
#include "tests/gui/program_files.h"

namespace {

// The build gives the binaries' Unix paths; Wine shows them on drive Z:.
const std::wstring kExtractor = gui::windowsPath(SFXSTUB_PATH).wstring();
const std::wstring kHost = gui::windowsPath(PLUGINHOST_PATH).wstring();

struct Binary {
    std::wstring path;
    const wchar_t* fileName;  // the name the block gives, "(none)" for the version alone
};

const Binary kBinaries[] = {
    {kExtractor, L"sfxstub.exe"},
    {gui::windowsPath(SFXBUILD_PATH).wstring(), L"sfxbuild.dll"},
    // The token library travels inside the extractor: its block holds the version alone.
    {gui::windowsPath(HWTOK_PATH).wstring(), L"(none)"},
    {gui::windowsPath(SFXTOOL_PATH).wstring(), L"sfxtool.exe"},
    {kHost, L"pluginhost.exe"},
};

std::wstring widened(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

std::wstring versionString(const std::vector<char>& block, const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
        return L"(none)";
    return std::wstring(value, length > 0 ? length - 1 : 0);
}

TEST(ShippedBinaries, EachCarriesTheProductVersion) {
    const DWORD ms = (QUILLON_VERSION_MAJOR << 16) | QUILLON_VERSION_MINOR;
    const DWORD ls = QUILLON_VERSION_PATCH << 16;
    for (const Binary& b : kBinaries) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(b.path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no version block in " << b.path;
        std::vector<char> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(b.path.c_str(), 0, size, block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, ms) << b.path;
        EXPECT_EQ(fixed->dwFileVersionLS, ls) << b.path;
        EXPECT_EQ(fixed->dwProductVersionMS, ms) << b.path;
        EXPECT_EQ(versionString(block, L"FileVersion"), widened(QUILLON_VERSION_TEXT)) << b.path;
        EXPECT_EQ(versionString(block, L"ProductVersion"), widened(QUILLON_VERSION_TEXT)) << b.path;
        EXPECT_EQ(versionString(block, L"ProductName"), L"Quillon SFX") << b.path;
        EXPECT_EQ(versionString(block, L"OriginalFilename"), b.fileName) << b.path;
    }
}

// A binary's resource, loaded as data; empty when it has none.
std::string resourceOf(const std::wstring& path, const wchar_t* type, const wchar_t* name) {
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return "";
    std::string bytes;
    if (const HRSRC found = FindResourceW(module, name, type)) {
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        if (data != nullptr) bytes.assign(data, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return bytes;
}

TEST(ShippedBinaries, TheProgramsDeclareDpiAwarenessAndTheirSystems) {
    const char* supported[] = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
    };
    for (const std::wstring& path : {kExtractor, kHost}) {
        const std::string manifest = resourceOf(path, RT_MANIFEST, MAKEINTRESOURCEW(1));
        ASSERT_FALSE(manifest.empty()) << "no manifest in " << path;
        const auto has = [&](const std::string& text) {
            return manifest.find(text) != std::string::npos;
        };
        EXPECT_TRUE(has(">PerMonitorV2, PerMonitor</dpiAwareness>")) << path;
        EXPECT_TRUE(has(">true/pm</dpiAware>")) << path;
        for (const char* id : supported) EXPECT_TRUE(has(id)) << id << " in " << path;
        EXPECT_TRUE(has("version=\"" QUILLON_VERSION_TEXT ".0\"")) << path;
        EXPECT_TRUE(has("level=\"asInvoker\"")) << path;
    }
    const std::string extractor = resourceOf(kExtractor, RT_MANIFEST, MAKEINTRESOURCEW(1));
    EXPECT_NE(extractor.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos)
        << "the extractor's progress bar needs common controls 6";
}

// The width of one icon image: a PNG's from its header, a bitmap's from its BITMAPINFOHEADER.
int imageWidth(const std::string& image) {
    if (image.size() >= 24 && image.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
        const auto* b = reinterpret_cast<const unsigned char*>(image.data()) + 16;
        return (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
    }
    if (image.size() < sizeof(BITMAPINFOHEADER)) return -1;
    BITMAPINFOHEADER header;
    std::memcpy(&header, image.data(), sizeof header);
    return header.biWidth;
}

// The window icon small and large, the PIN dialog's large (at 96 DPI). Larger images would be
// welcome at 144 DPI but do not fit the extractor's size.
TEST(ShippedBinaries, TheExtractorsIconsHoldAnImageForEachSizeAsked) {
    struct Case {
        int icon;
        std::vector<int> sizes;
    };
    for (const Case& c : {Case{103, {16, 32}}, Case{105, {32}}}) {
        const std::string group = resourceOf(kExtractor, RT_GROUP_ICON, MAKEINTRESOURCEW(c.icon));
        ASSERT_FALSE(group.empty()) << "no icon " << c.icon;
        for (int size : c.sizes) {
            const int id = LookupIconIdFromDirectoryEx(
                reinterpret_cast<PBYTE>(const_cast<char*>(group.data())), TRUE, size, size,
                LR_DEFAULTCOLOR);
            ASSERT_NE(id, 0) << "icon " << c.icon << " at " << size;
            const std::string image = resourceOf(kExtractor, RT_ICON, MAKEINTRESOURCEW(id));
            EXPECT_EQ(imageWidth(image), size) << "icon " << c.icon << " asked at " << size;
        }
    }
}

}  // namespace
