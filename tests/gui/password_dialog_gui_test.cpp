// The password dialog driven for real, in both deliverables' templates: what each mode shows,
// when OK may be pressed, what comes back to the caller, and the quality bar as it is painted.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/crypto/password_dialog.h"
#include "tests/gui/dialog_template.h"
#include "tests/gui/gui_driver.h"
#include "tests/gui/screenshot.h"

namespace {

using gui::click;
using gui::controlText;
using gui::isEnabled;
using gui::isVisible;
using gui::typeText;

struct Template {
    const PasswordDialogIds* ids;
    const char* name;
    gui::DialogUnits size;  // the template's width and height
};

// Test names and failures show the deliverable.
void PrintTo(const Template& t, std::ostream* os) {
    *os << t.name;
}

std::u16string textOf(const WideBuf& b) {
    return b.data != nullptr ? std::u16string(b.data) : std::u16string();
}

int widthOf(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return r.right;
}

// "N%" drawn on the fill colour in the bar's font, centred at the top, the way the bar must
// look; drawn here independently of the dialog.
gui::Pixels expectedBar(HWND bar, COLORREF fill, const wchar_t* label) {
    RECT r = {};
    GetClientRect(bar, &r);
    HDC window = GetDC(bar);
    HDC dc = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, r.right, r.bottom);
    ReleaseDC(bar, window);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, label, -1, &r, DT_CENTER);
    SelectObject(dc, oldFont);
    // Read back through the same path as the real bar.
    gui::Pixels p;
    p.width = r.right;
    p.height = r.bottom;
    for (int y = 0; y < r.bottom; ++y) {
        for (int x = 0; x < r.right; ++x) p.colours.push_back(GetPixel(dc, x, y));
    }
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return p;
}

void expectBarAt(HWND bar, int fullWidth, int percent, COLORREF fill, const wchar_t* label) {
    SCOPED_TRACE(testing::Message() << percent << "%");
    EXPECT_EQ(widthOf(bar), static_cast<int>(percent * (fullWidth / 100.0)));
    const gui::Pixels shown = gui::capture(bar);
    ASSERT_GT(shown.height, 0);
    // The left edge and the bottom row lie outside the label: pure fill.
    for (int x = 0; x < shown.width; ++x) EXPECT_EQ(shown.at(x, shown.height - 1), fill) << x;
    for (int y = 0; y < shown.height; ++y) EXPECT_EQ(shown.at(0, y), fill) << y;
    const gui::Pixels expected = expectedBar(bar, fill, label);
    int inked = 0, differing = 0;
    for (int y = 0; y < shown.height; ++y) {
        for (int x = 0; x < shown.width; ++x) {
            if (expected.at(x, y) != fill) ++inked;
            if (shown.at(x, y) != expected.at(x, y)) ++differing;
        }
    }
    EXPECT_GT(inked, 10) << "the expected label draws nothing";
    EXPECT_EQ(differing, 0) << "the label is not " << testing::PrintToString(std::wstring(label))
                            << " centred at the top";
}

// No coloured bar: the full width, blanked, showing only the dialog's own background.
void expectNoBar(HWND dialog, HWND bar, int fullWidth) {
    EXPECT_EQ(widthOf(bar), fullWidth);
    EXPECT_EQ(gui::textOf(bar), L"          ");
    const COLORREF background = gui::capture(dialog).at(1, 1);
    const gui::Pixels shown = gui::capture(bar);
    int other = 0;
    for (COLORREF c : shown.colours) other += c != background;
    EXPECT_EQ(other, 0) << "the blank bar shows something";
}

class PasswordDialogTest : public testing::TestWithParam<Template> {
  protected:
    const PasswordDialogIds& ids() const { return *GetParam().ids; }
    std::string shot(const char* mode) const {
        return std::string("password_") + mode + "_" + GetParam().name;
    }

    // Opens the dialog in `mode` over `owner` while `drive` works on it.
    int run(const char16_t* mode, const std::function<void(HWND)>& drive, HWND owner = nullptr) {
        buffer.assign(mode);
        return gui::driveDialog(
            [&] { return runPasswordDialog(GetModuleHandleW(nullptr), ids(), owner, buffer); },
            drive);
    }

    WideBuf buffer;
};

TEST_P(PasswordDialogTest, TheOpenDialogsLayoutTextsAndPlacement) {
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 60, 80, 700, 500,
                                       nullptr, nullptr, nullptr, nullptr);
    const bool plugin = ids().dialog == kPluginPasswordDialog.dialog;
    run(
        kEncryptMode,
        [&](HWND d) {
            const gui::DialogUnits size = gui::clientUnitsOf(d);
            EXPECT_EQ(size.width, GetParam().size.width);
            EXPECT_EQ(size.height, GetParam().size.height);
            struct Expected {
                int id;
                gui::DialogUnits at;
            };
            const Expected extractor[] = {{ids().passwordLabel, {8, 3, 162, 8}},
                                          {ids().passwordEdit, {8, 13, 162, 14}},
                                          {ids().confirmLabel, {8, 33, 162, 8}},
                                          {ids().confirmEdit, {8, 43, 162, 14}},
                                          {ids().qualityLabel, {8, 64, 162, 8}},
                                          {ids().qualityBar, {8, 75, 162, 10}},
                                          {IDOK, {66, 93, 50, 14}},
                                          {IDCANCEL, {120, 93, 50, 14}}};
            const Expected plugIn[] = {{ids().passwordLabel, {8, 6, 201, 8}},
                                       {ids().passwordEdit, {8, 18, 201, 17}},
                                       {ids().confirmLabel, {8, 40, 201, 8}},
                                       {ids().confirmEdit, {8, 51, 201, 17}},
                                       {ids().qualityLabel, {8, 73, 201, 8}},
                                       {ids().qualityBar, {7, 82, 202, 11}},
                                       {IDOK, {66, 96, 68, 18}},
                                       {IDCANCEL, {141, 96, 68, 18}}};
            for (const Expected& e : plugin ? plugIn : extractor) {
                const gui::DialogUnits u = gui::unitsOf(d, e.id);
                EXPECT_EQ(u.x, e.at.x) << e.id;
                EXPECT_EQ(u.y, e.at.y) << e.id;
                EXPECT_EQ(u.width, e.at.width) << e.id;
                EXPECT_EQ(u.height, e.at.height) << e.id;
            }

            // Masked edits that take 64 characters; OK the default button.
            for (int edit : {ids().passwordEdit, ids().confirmEdit}) {
                const HWND e = GetDlgItem(d, edit);
                EXPECT_NE(SendMessageW(e, EM_GETPASSWORDCHAR, 0, 0), 0);
                EXPECT_EQ(SendMessageW(e, EM_GETLIMITTEXT, 0, 0), 64);
            }
            EXPECT_EQ(LOWORD(SendMessageW(d, DM_GETDEFID, 0, 0)), IDOK);

            // Every text from the string table, none left from the template.
            EXPECT_EQ(gui::textOf(d), L"Enter password");
            EXPECT_EQ(controlText(d, ids().passwordLabel), L"Password:");
            EXPECT_EQ(controlText(d, ids().confirmLabel), L"Confirmation:");
            EXPECT_EQ(controlText(d, ids().qualityLabel), L"Password quality");
            EXPECT_EQ(controlText(d, IDOK), L"&OK");
            EXPECT_EQ(controlText(d, IDCANCEL), L"Cancel");

            // Centred over the owner, and the focus in the password edit.
            const POINT dialogCentre = gui::centreOf(d), ownerCentre = gui::centreOf(owner);
            EXPECT_NEAR(dialogCentre.x, ownerCentre.x, 1);
            EXPECT_NEAR(dialogCentre.y, ownerCentre.y, 1);
            EXPECT_EQ(gui::focusOf(d), GetDlgItem(d, ids().passwordEdit));
            click(d, IDCANCEL);
        },
        owner);
    DestroyWindow(owner);
}

TEST_P(PasswordDialogTest, TheTemplateAsStored) {
    const gui::DialogTemplate t = gui::readTemplate(GetModuleHandleW(nullptr), ids().dialog);
    ASSERT_TRUE(t.found);
    EXPECT_EQ(t.style & (DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU),
              static_cast<DWORD>(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(t.width, GetParam().size.width);
    EXPECT_EQ(t.height, GetParam().size.height);
    EXPECT_EQ(t.caption, L"Dialog");
    EXPECT_EQ(t.font, L"Microsoft Sans Serif");
    EXPECT_EQ(t.pointSize, 8);
    ASSERT_EQ(t.items.size(), 8u);
    const struct {
        int id;
        const wchar_t* cls;
        DWORD style;  // must all be set
        const wchar_t* text;
    } expected[] = {
        {ids().passwordLabel, L"Static", SS_LEFT, L"Password:"},
        {ids().passwordEdit, L"Edit", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, L""},
        {ids().confirmLabel, L"Static", SS_LEFT, L"Confirm:"},
        {ids().confirmEdit, L"Edit", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, L""},
        {ids().qualityLabel, L"Static", SS_LEFT, L"Password Quality"},
        {ids().qualityBar, L"Static", SS_CENTER, L""},
        {IDOK, L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, L"OK"},
        {IDCANCEL, L"Button", BS_PUSHBUTTON | WS_TABSTOP, L"Cancel"}};
    for (const auto& e : expected) {
        const gui::TemplateItem* item = t.item(e.id);
        ASSERT_NE(item, nullptr) << e.id;
        EXPECT_EQ(item->windowClass, e.cls) << e.id;
        EXPECT_EQ(item->style & e.style, e.style) << e.id;
        EXPECT_EQ(item->text, e.text) << e.id;
    }
    EXPECT_EQ(t.item(ids().qualityBar)->style & SS_TYPEMASK, static_cast<DWORD>(SS_CENTER));
}

TEST_P(PasswordDialogTest, DecryptModeAsksOnceAndNeverDisablesOk) {
    // An encrypt-mode dialog first, which disables OK on a mismatch, in the same process.
    EXPECT_EQ(run(kEncryptMode,
                  [&](HWND d) {
                      typeText(d, ids().passwordEdit, L"abc");
                      EXPECT_FALSE(isEnabled(d, IDOK));
                      click(d, IDCANCEL);
                  }),
              IDCANCEL);

    EXPECT_EQ(run(kDecryptMode,
                  [&](HWND d) {
                      EXPECT_TRUE(isVisible(d, ids().passwordLabel));
                      EXPECT_TRUE(isVisible(d, ids().passwordEdit));
                      EXPECT_TRUE(isVisible(d, IDOK));
                      EXPECT_TRUE(isVisible(d, IDCANCEL));
                      EXPECT_FALSE(isVisible(d, ids().confirmLabel));
                      EXPECT_FALSE(isVisible(d, ids().confirmEdit));
                      EXPECT_FALSE(isVisible(d, ids().qualityLabel));
                      EXPECT_FALSE(isVisible(d, ids().qualityBar));
                      EXPECT_EQ(gui::textOf(d), L"Enter password");
                      EXPECT_EQ(controlText(d, ids().passwordLabel), L"Password:");
                      for (wchar_t c : std::wstring(L"abcdefgh")) {
                          typeText(d, ids().passwordEdit, std::wstring(1, c));
                          EXPECT_TRUE(isEnabled(d, IDOK)) << "after " << char(c);
                      }
                      // The meter never ran: the bar keeps its template text and width.
                      EXPECT_EQ(controlText(d, ids().qualityBar), L"");
                      EXPECT_TRUE(gui::saveScreenshot(shot("decrypt"), d));
                      click(d, IDOK);
                  }),
              IDOK);
    EXPECT_EQ(textOf(buffer), u"abcdefgh");

    // Any text but "encrypt" means decrypt mode.
    EXPECT_EQ(run(u"Encrypt",
                  [&](HWND d) {
                      EXPECT_FALSE(isVisible(d, ids().confirmEdit));
                      click(d, IDOK);
                  }),
              IDOK);
    EXPECT_EQ(textOf(buffer), u"");
}

TEST_P(PasswordDialogTest, EncryptModeEnablesOkOnlyWhileTheFieldsMatch) {
    EXPECT_EQ(run(kEncryptMode,
                  [&](HWND d) {
                      for (int id : {ids().confirmLabel, ids().confirmEdit, ids().qualityLabel,
                                     ids().qualityBar}) {
                          EXPECT_TRUE(isVisible(d, id)) << id;
                      }
                      EXPECT_TRUE(isEnabled(d, IDOK)) << "two empty fields match";
                      typeText(d, ids().passwordEdit, L"tulip");
                      EXPECT_FALSE(isEnabled(d, IDOK));
                      typeText(d, ids().confirmEdit, L"tuli");
                      EXPECT_FALSE(isEnabled(d, IDOK));
                      typeText(d, ids().confirmEdit, L"p");
                      EXPECT_TRUE(isEnabled(d, IDOK));
                      typeText(d, ids().confirmEdit, L"s");
                      EXPECT_FALSE(isEnabled(d, IDOK));
                      // The comparison is exact: case counts.
                      gui::setControlText(d, ids().confirmEdit, L"Tulip");
                      EXPECT_FALSE(isEnabled(d, IDOK));

                      // A press of OK that arrives while it is disabled is refused.
                      PostMessageW(d, WM_COMMAND, IDOK, 0);
                      PostMessageW(GetDlgItem(d, ids().confirmEdit), WM_KEYDOWN, VK_RETURN, 1);
                      Sleep(200);
                      EXPECT_TRUE(IsWindowVisible(d)) << "an unconfirmed password was taken";

                      gui::setControlText(d, ids().confirmEdit, L"");
                      gui::setControlText(d, ids().passwordEdit, L"");
                      EXPECT_TRUE(isEnabled(d, IDOK)) << "two empty fields match";
                      typeText(d, ids().passwordEdit, L"tulip");
                      typeText(d, ids().confirmEdit, L"tulip");
                      click(d, IDOK);
                  }),
              IDOK);
    EXPECT_EQ(textOf(buffer), u"tulip");
}

// A new password the code page cannot hold (Cyrillic, under code page 1252) would key the
// archive with question marks in its place: OK refuses it with the reason and the dialog stays;
// a password it holds is then taken.
TEST_P(PasswordDialogTest, EncryptModeRefusesCharactersTheCodePageCannotHold) {
    const std::wstring cyrillic = L"\u0441\u0435\u043a\u0440\u0435\u0442 giraffe";
    EXPECT_EQ(run(kEncryptMode,
                  [&](HWND d) {
                      gui::setControlText(d, ids().passwordEdit, cyrillic);
                      gui::setControlText(d, ids().confirmEdit, cyrillic);
                      ASSERT_TRUE(isEnabled(d, IDOK));
                      PostMessageW(d, WM_COMMAND, IDOK, 0);
                      const HWND box =
                          gui::waitForOtherDialog(GetWindowThreadProcessId(d, nullptr), d);
                      ASSERT_NE(box, nullptr) << "taken without a word";
                      EXPECT_NE(gui::controlText(box, 0xFFFF).find(L"code page cannot hold"),
                                std::wstring::npos);
                      PostMessageW(box, WM_COMMAND, IDOK, 0);
                      ASSERT_TRUE(gui::waitUntilGone(box));
                      EXPECT_TRUE(IsWindowVisible(d)) << "the dialog ended";
                      gui::setControlText(d, ids().passwordEdit, L"caf\u00e9 giraffe");
                      gui::setControlText(d, ids().confirmEdit, L"caf\u00e9 giraffe");
                      click(d, IDOK);
                  }),
              IDOK);
    EXPECT_EQ(textOf(buffer), u"caf\u00e9 giraffe");
}

TEST_P(PasswordDialogTest, TheBarShowsTheQualityOfWhatIsTyped) {
    run(kEncryptMode, [&](HWND d) {
        const HWND bar = GetDlgItem(d, ids().qualityBar);
        const int full = widthOf(bar);
        ASSERT_GT(full, 100);

        typeText(d, ids().passwordEdit, L"abcde");
        expectNoBar(d, bar, full);
        // Eight different lower-case letters: 28 %.
        typeText(d, ids().passwordEdit, L"fgh");
        expectBarAt(bar, full, 28, RGB(185, 70, 0), L"28%");
        typeText(d, ids().confirmEdit, L"abcdefgh");
        EXPECT_TRUE(gui::saveScreenshot(shot("encrypt"), d));
        // Sixteen: 58 %, narrower bars and wider ones alike.
        typeText(d, ids().passwordEdit, L"ijklmnop");
        expectBarAt(bar, full, 58, RGB(110, 145, 0), L"58%");
        gui::setControlText(d, ids().passwordEdit, L"abcdefgh");
        expectBarAt(bar, full, 28, RGB(185, 70, 0), L"28%");
        // Refused by the policy (too simple): no bar again.
        gui::setControlText(d, ids().passwordEdit, L"aaaaaaaa");
        expectNoBar(d, bar, full);
        click(d, IDCANCEL);
    });
}

// A plain window of its own colour, to lie over the dialog.
HWND coverOver(HWND dialog) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    cls.lpszClassName = L"QuillonCover";
    RegisterClassW(&cls);
    RECT r;
    GetWindowRect(dialog, &r);
    return CreateWindowExW(WS_EX_TOPMOST, L"QuillonCover", L"", WS_POPUP | WS_VISIBLE, r.left,
                           r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

void pumpFor(int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
}

TEST_P(PasswordDialogTest, CoveringAndUncoveringRepaintsTheBar) {
    run(kEncryptMode, [&](HWND d) {
        const HWND bar = GetDlgItem(d, ids().qualityBar);
        const int full = widthOf(bar);
        typeText(d, ids().passwordEdit, L"abcdefgh");
        expectBarAt(bar, full, 28, RGB(185, 70, 0), L"28%");

        RECT onScreen;
        GetWindowRect(bar, &onScreen);
        const HWND cover = coverOver(d);
        pumpFor(200);
        EXPECT_EQ(gui::captureScreen(onScreen).at(0, 0), RGB(255, 255, 255)) << "not covered";
        DestroyWindow(cover);
        pumpFor(200);
        const gui::Pixels uncovered = gui::captureScreen(onScreen);
        EXPECT_EQ(uncovered.at(0, uncovered.height - 1), RGB(185, 70, 0));

        // Where the system keeps no copy of a covered window, it has the dialog and all its
        // controls paint again.
        RedrawWindow(d, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        expectBarAt(bar, full, 28, RGB(185, 70, 0), L"28%");
        click(d, IDCANCEL);
    });
}

TEST_P(PasswordDialogTest, ALongPasswordComesBackAsItsFirst63Characters) {
    std::wstring typed;
    for (int i = 0; i < 70; ++i) typed += static_cast<wchar_t>(L'!' + i);
    for (const char16_t* mode : {kDecryptMode, kEncryptMode}) {
        EXPECT_EQ(run(mode,
                      [&](HWND d) {
                          typeText(d, ids().passwordEdit, typed);
                          typeText(d, ids().confirmEdit, typed);
                          EXPECT_EQ(controlText(d, ids().passwordEdit), typed.substr(0, 64));
                          click(d, IDOK);
                      }),
                  IDOK);
        const std::u16string want(typed.begin(), typed.begin() + 63);
        EXPECT_EQ(textOf(buffer), want);
    }
}

TEST_P(PasswordDialogTest, CancelAndClosingReturn2AndAnEmptyBuffer) {
    EXPECT_EQ(run(kEncryptMode,
                  [&](HWND d) {
                      typeText(d, ids().passwordEdit, L"abcdefgh");
                      typeText(d, ids().confirmEdit, L"abcdefgh");
                      click(d, IDCANCEL);
                  }),
              IDCANCEL);
    EXPECT_EQ(textOf(buffer), u"");
    EXPECT_EQ(run(kDecryptMode,
                  [&](HWND d) {
                      typeText(d, ids().passwordEdit, L"abcdefgh");
                      PostMessageW(d, WM_CLOSE, 0, 0);
                  }),
              IDCANCEL);
    EXPECT_EQ(textOf(buffer), u"");
}

INSTANTIATE_TEST_SUITE_P(
    Templates, PasswordDialogTest,
    testing::Values(Template{&kExtractorPasswordDialog, "extractor", {0, 0, 177, 114}},
                    Template{&kPluginPasswordDialog, "plugin", {0, 0, 217, 121}}),
    [](const testing::TestParamInfo<Template>& info) { return std::string(info.param.name); });

}  // namespace
