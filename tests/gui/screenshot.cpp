#include "tests/gui/screenshot.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/gui/gui_driver.h"

namespace gui {

namespace {

constexpr int kMargin = 12;

// A cross-built test run under Wine gets the build tree's Unix path; Wine shows the Unix root as
// drive Z:.
std::filesystem::path screenshotFolder() {
    const char* named = std::getenv("QUILLON_SCREENSHOTS");
    std::string folder = named != nullptr && *named != 0 ? named : "screenshots";
    if (folder[0] == '/') folder = "Z:" + folder;
    return std::filesystem::path(folder);
}

// 24-bit bottom-up BMP, rows padded to four bytes.
bool writeBmp(const std::filesystem::path& file, const Pixels& p) {
    const uint32_t stride = (static_cast<uint32_t>(p.width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = stride * static_cast<uint32_t>(p.height);
    BITMAPFILEHEADER head = {};
    BITMAPINFOHEADER info = {};
    head.bfType = 0x4D42;  // "BM"
    head.bfOffBits = sizeof head + sizeof info;
    head.bfSize = head.bfOffBits + imageBytes;
    info.biSize = sizeof info;
    info.biWidth = p.width;
    info.biHeight = p.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = imageBytes;
    std::string image(imageBytes, '\0');
    for (int y = 0; y < p.height; ++y) {
        char* row = image.data() + static_cast<size_t>(p.height - 1 - y) * stride;
        for (int x = 0; x < p.width; ++x) {
            const COLORREF c = p.at(x, y);
            row[3 * x] = static_cast<char>(GetBValue(c));
            row[3 * x + 1] = static_cast<char>(GetGValue(c));
            row[3 * x + 2] = static_cast<char>(GetRValue(c));
        }
    }
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&head), sizeof head);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

}  // namespace

bool saveScreenshot(const std::string& name, HWND window) {
    // Paint what is pending, then give the display a moment to show it.
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(150);
    RECT area = {};
    if (!GetWindowRect(window, &area)) return false;
    InflateRect(&area, kMargin, kMargin);
    area.left = std::max<LONG>(area.left, 0);
    area.top = std::max<LONG>(area.top, 0);
    area.right = std::min<LONG>(area.right, GetSystemMetrics(SM_CXSCREEN));
    area.bottom = std::min<LONG>(area.bottom, GetSystemMetrics(SM_CYSCREEN));
    const Pixels shot = captureScreen(area);
    if (shot.width == 0 || shot.height == 0) return false;
    const std::filesystem::path folder = screenshotFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return writeBmp(folder / (name + ".bmp"), shot);
}

}  // namespace gui
