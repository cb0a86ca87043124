// Every dialog of the extractor and the plug-in, through the real programs, as a keyboard user
// and a high-DPI screen meet them: Tab goes from the first edit through every edit and button in
// the template's order and back round; the layout grows with the screen's DPI and stays inside
// the dialog; the PIN dialog's icon fills its place and
// the quality bar keeps the template's proportions. A screenshot of each, named with the DPI, goes
// to the screenshot folder for people to look at. The suite runs at the prefix's DPI (96), and
// again at 144 through at_dpi.sh.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/crypto/password_dialog_ids.h"
#include "sfxbuild/resource_ids.h"
#include "sfxstub/resource_ids.h"
#include "tests/gui/extractor_driver.h"
#include "tests/gui/gui_driver.h"
#include "tests/gui/process_driver.h"
#include "tests/gui/program_files.h"
#include "tests/gui/screenshot.h"

namespace {

namespace fs = std::filesystem;
using gui::quoted;
using gui::windowsPath;
using gui::writeFile;

constexpr char kPassword[] = "tour password 5";
// Eight different lower-case letters: the meter gives 28 %.
constexpr wchar_t kRatedPassword[] = L"bdfhjlnp";

int screenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

std::string shotName(const std::string& name) {
    return name + "_" + std::to_string(screenDpi()) + "dpi";
}

template <typename Done>
bool waitFor(Done done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int focusedId(HWND dialog) {
    const HWND focus = gui::focusOf(dialog);
    return focus != nullptr ? GetDlgCtrlID(focus) : 0;
}

// The ids that have the focus, first as the dialog opened and then after each of `presses`
// presses of Tab, posted to the focused control as the keyboard would deliver it.
std::vector<int> focusOrder(HWND dialog, size_t presses) {
    std::vector<int> ids = {focusedId(dialog)};
    for (size_t i = 0; i < presses; ++i) {
        const HWND focus = gui::focusOf(dialog);
        const HWND target = focus != nullptr ? focus : dialog;
        PostMessageW(target, WM_KEYDOWN, VK_TAB, 0x000F0001);
        PostMessageW(target, WM_KEYUP, VK_TAB, 0xC00F0001);
        const int before = ids.back();
        waitFor([&] { return focusedId(dialog) != before; }, 1500);
        ids.push_back(focusedId(dialog));
    }
    return ids;
}

// Tab visits `order` from its first entry and comes back to it.
void expectTabOrder(HWND dialog, std::vector<int> order) {
    order.push_back(order.front());
    EXPECT_EQ(focusOrder(dialog, order.size() - 1), order);
}

RECT clientRectOf(HWND dialog, HWND control) {
    RECT r = {};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The dialog's scale: pixels per dialog unit, from its client area and the template's size.
struct Scale {
    double x, y;
    int pixelsX(int units) const { return static_cast<int>(units * x + 0.5); }
    int pixelsY(int units) const { return static_cast<int>(units * y + 0.5); }
};

Scale scaleOf(HWND dialog, int templateWidth, int templateHeight) {
    RECT client = {};
    GetClientRect(dialog, &client);
    return {static_cast<double>(client.right) / templateWidth,
            static_cast<double>(client.bottom) / templateHeight};
}

// The layout holds at this DPI: the dialog unit grows with the screen (a dialog unit is a
// quarter of the font's average width and an eighth of its height, about 1.5 and 1.6 pixels at
// 96 DPI), and every visible control lies inside the client area.
void expectLayoutIntact(HWND dialog, int templateWidth, int templateHeight) {
    const Scale s = scaleOf(dialog, templateWidth, templateHeight);
    const double factor = screenDpi() / 96.0;
    EXPECT_NEAR(s.y, 1.625 * factor, 0.25 * factor) << "the dialog does not follow the DPI";
    EXPECT_NEAR(s.x / s.y, 0.92, 0.2) << "width and height scaled apart";
    RECT client = {};
    GetClientRect(dialog, &client);
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c)) continue;
        const RECT r = clientRectOf(dialog, c);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                    r.bottom <= client.bottom)
            << "control " << GetDlgCtrlID(c) << " runs out of the dialog";
    }
}

// What the screen shows of a control.
gui::Pixels shownPixels(HWND control) {
    RECT r = {};
    GetWindowRect(control, &r);
    return gui::captureScreen(r);
}

class DialogTour : public testing::Test {
  protected:
    static inline fs::path work, archive;

    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        work = fs::path(temp) / ("dialog_tour_" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(work);
        writeFile(work / "source" / "letter.txt", "Dear reader,\r\n");
        archive = work / "letter.exe";
        makeArchive(archive, L"");
    }

    // sfxtool makes `out` of the letter behind the extractor, with `options` added.
    static void makeArchive(const fs::path& out, const std::wstring& options) {
        gui::Program tool;
        ASSERT_TRUE(tool.start(quoted(windowsPath(SFXTOOL_PATH)) + L" create -q" + options +
                               L" --stub " + quoted(windowsPath(SFXSTUB_PATH)) + L" -p \"" +
                               std::wstring(kPassword, kPassword + sizeof kPassword - 1) +
                               L"\" -o " + quoted(out) + L" -C " + quoted(work / "source") +
                               L" letter.txt"));
        ASSERT_EQ(tool.waitForExit(60000), 0) << "sfxtool create failed";
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }
};

// The extractor: its main dialog, the PIN dialog of a token that wants one, and, once the PIN is
// refused, the password dialog.
TEST_F(DialogTour, TheExtractorsDialogs) {
    writeFile(work / "tokens.txt",
              "[reader]\r\nname = Quillon Reader 1\r\npin = 1234\r\nlabel = Work key\r\n"
              "password = tour password 5\r\n");
    gui::Program extractor;
    const HWND main = gui::startExtractor(extractor, archive, work,
                                          {L"QUILLON_TOKENS=" + (work / "tokens.txt").wstring()});
    ASSERT_NE(main, nullptr) << "no main dialog";
    const DWORD process = extractor.processId();
    gui::saveScreenshot(shotName("tour_extractor_main"), main);
    expectLayoutIntact(main, 226, 121);
    expectTabOrder(main, {SFX_MAIN_DESTINATION, SFX_MAIN_BROWSE, SFX_MAIN_EXTRACT, IDCANCEL});

    gui::press(main, SFX_MAIN_EXTRACT);
    const HWND pin = gui::waitForNewWindow(process, {main});
    ASSERT_NE(pin, nullptr) << "no PIN dialog";
    ASSERT_NE(GetDlgItem(pin, SFX_PIN_EDIT), nullptr) << "not the PIN dialog";
    gui::typeText(pin, SFX_PIN_EDIT, L"9");  // OK is disabled, and skipped by Tab, until then
    gui::saveScreenshot(shotName("tour_pin"), pin);
    expectLayoutIntact(pin, 221, 103);
    expectTabOrder(pin, {SFX_PIN_EDIT, SFX_PIN_OK, SFX_PIN_CANCEL});

    // The icon, at the system's icon size for this DPI, fills most of the 21 x 20 units the
    // template gives it: it grows with the dialog.
    const Scale s = scaleOf(pin, 221, 103);
    const HWND icon = GetDlgItem(pin, SFX_PIN_ICON);
    const RECT place = clientRectOf(pin, icon);
    EXPECT_GE(place.right - place.left, s.pixelsX(21) * 3 / 4) << "icon width";
    EXPECT_LE(place.right - place.left, s.pixelsX(21) + 2) << "icon width";
    EXPECT_GE(place.bottom - place.top, s.pixelsY(20) * 3 / 4) << "icon height";
    EXPECT_LE(place.bottom - place.top, s.pixelsY(20) + 2) << "icon height";
    const gui::Pixels drawn = shownPixels(icon);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    int left = drawn.width, right = -1, top = drawn.height, bottom = -1;
    for (int y = 0; y < drawn.height; ++y) {
        for (int x = 0; x < drawn.width; ++x) {
            if (drawn.at(x, y) == face) continue;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    EXPECT_GE(right - left + 1, s.pixelsX(21) * 2 / 3) << "the icon is drawn small";
    EXPECT_GE(bottom - top + 1, s.pixelsY(20) * 2 / 3) << "the icon is drawn small";

    // A cancelled PIN gives the token up: the typed password is asked for.
    gui::press(pin, SFX_PIN_CANCEL);
    const HWND password = gui::waitForNewWindow(process, {main, pin});
    ASSERT_NE(password, nullptr) << "no password dialog";
    ASSERT_NE(GetDlgItem(password, QUILLON_EXTRACTOR_PASSWORD_EDIT), nullptr);
    gui::saveScreenshot(shotName("tour_extractor_password"), password);
    expectLayoutIntact(password, 177, 114);
    expectTabOrder(password, {QUILLON_EXTRACTOR_PASSWORD_EDIT, IDOK, IDCANCEL});
    gui::press(password, IDCANCEL);
    ASSERT_TRUE(gui::waitUntilIdle(process, main));
    gui::press(main, IDCANCEL);
    EXPECT_EQ(extractor.waitForExit(), 0);
}

// The plug-in, through its test host: the creation dialog and the password dialog with the
// quality bar, then the extraction dialog and its password dialog.
TEST_F(DialogTour, ThePluginsDialogs) {
    const fs::path folder = work / "plugin";
    writeFile(folder / "a.txt", "a");
    const std::wstring host = quoted(windowsPath(PLUGINHOST_PATH));
    gui::Program creator;
    ASSERT_TRUE(creator.start(host + L" create_sfx_archive_w", folder.wstring()));
    const HWND create = gui::waitForWindow(
        creator.processId(), L"Create a Self-Extracting encrypted archive", L"#32770");
    ASSERT_NE(create, nullptr) << "no creation dialog";
    gui::saveScreenshot(shotName("tour_creation"), create);
    expectLayoutIntact(create, 255, 82);
    expectTabOrder(create, {BUILD_CREATE_ARCHIVE_NAME, BUILD_CREATE_FILE_LIST,
                            BUILD_CREATE_ADD_FILES, BUILD_CREATE_CREATE, IDCANCEL});

    gui::setControlText(create, BUILD_CREATE_FILE_LIST, L"a.txt");
    gui::setControlText(create, BUILD_CREATE_ARCHIVE_NAME, L"a.exe");
    gui::press(create, BUILD_CREATE_CREATE);
    const HWND password = gui::waitForNewWindow(creator.processId(), {create});
    ASSERT_NE(password, nullptr) << "no password dialog";
    ASSERT_TRUE(gui::isVisible(password, QUILLON_PLUGIN_CONFIRM_EDIT)) << "not in encrypt mode";
    gui::typeText(password, QUILLON_PLUGIN_PASSWORD_EDIT, kRatedPassword);
    gui::typeText(password, QUILLON_PLUGIN_CONFIRM_EDIT, kRatedPassword);
    gui::saveScreenshot(shotName("tour_plugin_password_new"), password);
    expectTabOrder(password,
                   {QUILLON_PLUGIN_PASSWORD_EDIT, QUILLON_PLUGIN_CONFIRM_EDIT, IDOK, IDCANCEL});

    // The bar: 28 % of the template's 202 units wide, 11 high, in its colour, labelled within.
    const Scale s = scaleOf(password, 217, 121);
    const HWND bar = GetDlgItem(password, QUILLON_PLUGIN_QUALITY_BAR);
    RECT barClient = {};
    GetClientRect(bar, &barClient);
    EXPECT_NEAR(barClient.bottom, s.pixelsY(11), 3) << "bar height";
    EXPECT_NEAR(barClient.right, s.pixelsX(202) * 28 / 100, 4) << "bar width";
    const gui::Pixels drawn = shownPixels(bar);
    ASSERT_GT(drawn.width, 4);
    EXPECT_EQ(drawn.at(1, drawn.height / 2), RGB(185, 70, 0));
    int textTop = drawn.height, textBottom = -1;
    for (int y = 0; y < drawn.height; ++y) {
        for (int x = 0; x < drawn.width; ++x) {
            if (drawn.at(x, y) == RGB(185, 70, 0)) continue;
            textTop = std::min(textTop, y), textBottom = std::max(textBottom, y);
        }
    }
    ASSERT_GE(textBottom, textTop) << "the bar has no label";
    // The digits stand about as tall as the dialog's own text: 7 to 8 pixels at 96 DPI.
    EXPECT_GE(textBottom - textTop + 1, s.pixelsY(8) * 5 / 8) << "the label is drawn small";
    EXPECT_LE(textBottom + 1, drawn.height) << "the label is cut off";
    expectLayoutIntact(password, 217, 121);
    gui::press(password, IDCANCEL);
    ASSERT_TRUE(gui::waitUntilGone(password));
    gui::press(create, IDCANCEL);
    EXPECT_EQ(creator.waitForExit(), 0);

    gui::Program reader;
    ASSERT_TRUE(reader.start(host + L" decrypt_w --archive " + quoted(archive), folder.wstring()));
    const HWND extract =
        gui::waitForWindow(reader.processId(), L"Self-extracting Quillon archive", L"#32770");
    ASSERT_NE(extract, nullptr) << "no extraction dialog";
    gui::saveScreenshot(shotName("tour_plugin_extraction"), extract);
    expectLayoutIntact(extract, 226, 112);
    expectTabOrder(extract, {BUILD_EXTRACT_DESTINATION, BUILD_EXTRACT_BROWSE, BUILD_EXTRACT_EXTRACT,
                             IDCANCEL});
    gui::press(extract, BUILD_EXTRACT_EXTRACT);
    const HWND asked = gui::waitForNewWindow(reader.processId(), {extract});
    ASSERT_NE(asked, nullptr) << "no password dialog";
    ASSERT_FALSE(gui::isVisible(asked, QUILLON_PLUGIN_CONFIRM_EDIT)) << "not in decrypt mode";
    gui::saveScreenshot(shotName("tour_plugin_password"), asked);
    expectLayoutIntact(asked, 217, 121);
    expectTabOrder(asked, {QUILLON_PLUGIN_PASSWORD_EDIT, IDOK, IDCANCEL});
    gui::press(asked, IDCANCEL);
    ASSERT_TRUE(gui::waitUntilGone(asked));
    gui::press(extract, IDCANCEL);
    EXPECT_EQ(reader.waitForExit(), 0);
}

// An archive that cannot be checked for changes (no integrity record): before anything is
// written, the extractor and the plug-in ask whether to go on, default No. No writes nothing;
// Yes extracts.
TEST_F(DialogTour, TheQuestionBeforeAnUncheckedArchive) {
    const fs::path classic = work / "classic.exe";
    const fs::path into = work / "unchecked";
    fs::create_directories(into);
    makeArchive(classic, L" --no-integrity");
    const std::wstring password(kPassword, kPassword + sizeof kPassword - 1);

    // Answers the question that must come up over `owner`'s process, after a screenshot.
    auto answer = [&](DWORD process, HWND main, const char* shot, int button) {
        const HWND box = gui::waitForMessageBox(process, main);
        ASSERT_NE(box, nullptr) << "no question";
        EXPECT_EQ(gui::textOf(box), L"Archive cannot be checked");
        EXPECT_NE(gui::controlText(box, 0xFFFF).find(L"cannot be checked for changes"),
                  std::wstring::npos);
        EXPECT_EQ(focusedId(box), IDNO) << "No is not the default";
        gui::saveScreenshot(shotName(shot), box);
        gui::press(box, button);
        ASSERT_TRUE(gui::waitUntilGone(box));
    };

    gui::Program extractor;
    const HWND main = gui::startExtractor(extractor, classic, into);
    ASSERT_NE(main, nullptr) << "no main dialog";
    const DWORD process = extractor.processId();
    gui::extractWith(process, main, password);
    answer(process, main, "question_extractor", IDNO);
    ASSERT_TRUE(gui::waitUntilIdle(process, main)) << "something followed No";
    EXPECT_FALSE(fs::exists(into / "letter.txt")) << "written although the answer was No";
    gui::extractWith(process, main, password);
    answer(process, main, "question_extractor_yes", IDYES);
    ASSERT_TRUE(gui::waitUntilIdle(process, main));
    EXPECT_TRUE(fs::exists(into / "letter.txt")) << "not extracted after Yes";
    gui::press(main, IDCANCEL);
    EXPECT_EQ(extractor.waitForExit(), 0);

    fs::remove(into / "letter.txt");
    gui::Program reader;
    ASSERT_TRUE(reader.start(quoted(windowsPath(PLUGINHOST_PATH)) + L" decrypt_w --archive " +
                                 quoted(classic) + L" --password \"" + password + L"\"",
                             into.wstring()));
    const HWND extract =
        gui::waitForWindow(reader.processId(), L"Self-extracting Quillon archive", L"#32770");
    ASSERT_NE(extract, nullptr) << "no extraction dialog";
    gui::press(extract, BUILD_EXTRACT_EXTRACT);
    answer(reader.processId(), extract, "question_plugin", IDNO);
    // Extract always closes the plug-in's dialog, and with it the host's call.
    EXPECT_EQ(reader.waitForExit(), 0);
    EXPECT_FALSE(fs::exists(into / "letter.txt")) << "the plug-in wrote although told No";
}

}  // namespace
