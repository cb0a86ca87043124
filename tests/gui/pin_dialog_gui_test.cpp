// The token password search driven for real, in-process: the built stand-in library with
// simulated readers, and the PIN dialog answered as a user would. What the dialog shows (the
// template's layout, the bold reader name, the blue label, OK only with a PIN), when it opens and
// reopens, what comes back, and that texts too long for their buffers are cut safely.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "sfxstub/pin_dialog.h"
#include "sfxstub/resource_ids.h"
#include "sfxstub/token_library.h"
#include "sfxstub/token_password.h"
#include "tests/gui/dialog_template.h"
#include "tests/gui/gui_driver.h"
#include "tests/gui/screenshot.h"
#include "tests/support/temp_folder.h"

namespace {

using gui::click;
using gui::controlText;
using gui::isEnabled;
using gui::typeText;

std::wstring wide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

std::string readFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What one search gave, and the PIN dialogs it opened.
struct Outcome {
    bool found = false;
    std::u16string password;
    int dialogs = 0;
};

class TokenPassword : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        *wcsrchr(path, L'\\') = 0;
        TokenLibraryFile file;
        wcscpy(file.path, (std::wstring(path) + L"\\hwtok32.dll").c_str());
        ASSERT_TRUE(bindTokenLibrary(file, &library));
    }
    static void TearDownTestSuite() { FreeLibrary(library); }

    void SetUp() override {
        tokens = wide(folder.path()) + L"\\tokens.txt";
        trace = wide(folder.path()) + L"\\trace.log";
        SetEnvironmentVariableW(L"QUILLON_TOKENS", tokens.c_str());
        SetEnvironmentVariableW(L"QUILLON_TOKEN_TRACE", trace.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"QUILLON_TOKENS", nullptr);
        SetEnvironmentVariableW(L"QUILLON_TOKEN_TRACE", nullptr);
    }

    void describe(const std::string& text) { std::ofstream(tokens.c_str()) << text; }
    std::string log() const { return readFile(trace); }

    // Runs the search on this thread while `answer` deals with each PIN dialog in turn (it gets
    // the dialog and how many came before it). A dialog still open after `answer` fails the test.
    Outcome search(const std::function<void(HWND, int)>& answer, HWND owner = nullptr) {
        Outcome out;
        std::atomic<bool> done{false};
        const DWORD uiThread = GetCurrentThreadId();
        std::thread driver([&] {
            while (!done) {
                const HWND d = gui::waitForDialog(uiThread, 50);
                if (d == nullptr) continue;
                answer(d, out.dialogs++);
                if (!gui::waitUntilGone(d)) {
                    ADD_FAILURE() << "the PIN dialog stayed open";
                    PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
                    gui::waitUntilGone(d);
                }
            }
        });
        char16_t output[100] = {};
        out.found = readTokenPassword(GetModuleHandleW(nullptr), owner, output);
        done = true;
        driver.join();
        out.password = output;
        return out;
    }

    static void enterPin(HWND d, const std::wstring& pin) {
        typeText(d, SFX_PIN_EDIT, pin);
        click(d, SFX_PIN_OK);
    }

    static HMODULE library;
    TempFolder folder;
    std::wstring tokens, trace;
};
HMODULE TokenPassword::library = nullptr;

const std::string kPinToken =
    "[reader]\nname = Quillon Reader 1\npin = 1234\nlabel = Work key\npassword = s3cret\n";

int countOf(const gui::Pixels& p, COLORREF colour) {
    int n = 0;
    for (COLORREF c : p.colours) n += c == colour;
    return n;
}

// A control as painted: the dialog is made to paint first, since it may not have yet.
gui::Pixels painted(HWND dialog, int id) {
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    return gui::capture(GetDlgItem(dialog, id));
}

TEST_F(TokenPassword, TheTemplateAsStored) {
    const gui::DialogTemplate t = gui::readTemplate(GetModuleHandleW(nullptr), SFX_PIN_DIALOG);
    ASSERT_TRUE(t.found);
    EXPECT_EQ(t.width, 221);
    EXPECT_EQ(t.height, 103);
    EXPECT_EQ(t.font, L"Microsoft Sans Serif");
    EXPECT_EQ(t.pointSize, 8);
    const DWORD frame = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(t.style & frame, frame);
    struct Expected {
        int id;
        short x, y, w, h;
        const wchar_t* cls;
        DWORD style;  // the bits that must be set
    };
    const Expected items[] = {
        {SFX_PIN_ICON, 13, 9, 21, 20, L"Static", SS_ICON},
        {SFX_PIN_READER_CAPTION, 37, 10, 50, 8, L"Static", SS_RIGHT},
        {SFX_PIN_READER, 90, 10, 116, 13, L"Static", SS_LEFT},
        {SFX_PIN_LABEL_CAPTION, 37, 20, 50, 8, L"Static", SS_RIGHT},
        {SFX_PIN_LABEL, 89, 20, 119, 8, L"Static", SS_LEFT},
        {SFX_PIN_PROMPT, 15, 37, 196, 18, L"Static", SS_LEFT},
        {SFX_PIN_EDIT_CAPTION, 13, 62, 83, 8, L"Static", SS_RIGHT},
        {SFX_PIN_EDIT, 103, 59, 108, 14, L"Edit",
         ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
        {SFX_PIN_OK, 103, 78, 50, 14, L"Button", BS_DEFPUSHBUTTON},
        {SFX_PIN_CANCEL, 162, 78, 50, 14, L"Button", BS_PUSHBUTTON},
    };
    EXPECT_EQ(t.items.size(), std::size(items));
    for (const Expected& e : items) {
        const gui::TemplateItem* item = t.item(e.id);
        ASSERT_NE(item, nullptr) << e.id;
        EXPECT_EQ(item->x, e.x) << e.id;
        EXPECT_EQ(item->y, e.y) << e.id;
        EXPECT_EQ(item->width, e.w) << e.id;
        EXPECT_EQ(item->height, e.h) << e.id;
        // The resource compiler stores a CONTROL's class as a name: compared as Windows does.
        EXPECT_EQ(_wcsicmp(item->windowClass.c_str(), e.cls), 0) << e.id;
        EXPECT_EQ(item->style & (e.style | SS_TYPEMASK), e.style | 0) << e.id;
    }
}

// A token with a PIN: the dialog as it opens, OK only with a PIN typed, and the password once the
// right PIN is in.
TEST_F(TokenPassword, ThePinDialogAsShownAndTheRightPin) {
    describe(kPinToken);
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 80, 60, 640, 480,
                                       nullptr, nullptr, nullptr, nullptr);
    const Outcome out = search(
        [&](HWND d, int) {
            EXPECT_EQ(gui::textOf(d), L"PIN");
            EXPECT_EQ(controlText(d, SFX_PIN_READER_CAPTION), L"Device:");
            EXPECT_EQ(controlText(d, SFX_PIN_READER), L"Quillon Reader 1");
            EXPECT_EQ(controlText(d, SFX_PIN_LABEL_CAPTION), L"Label:");
            EXPECT_EQ(controlText(d, SFX_PIN_LABEL), L"Work key");
            EXPECT_EQ(controlText(d, SFX_PIN_PROMPT),
                      L"This Key is protected. In order to access the Key, you must enter PIN.");
            EXPECT_EQ(controlText(d, SFX_PIN_EDIT_CAPTION), L"Enter PIN:");
            EXPECT_EQ(controlText(d, SFX_PIN_OK), L"&OK");
            EXPECT_EQ(controlText(d, SFX_PIN_CANCEL), L"Cancel");
            const gui::DialogUnits size = gui::clientUnitsOf(d);
            EXPECT_EQ(size.width, 221);
            EXPECT_EQ(size.height, 103);
            EXPECT_NE(SendDlgItemMessageW(d, SFX_PIN_ICON, STM_GETIMAGE, IMAGE_ICON, 0), 0);

            // The reader name in bold 10 points, the label blue on the button face.
            LOGFONTW font = {};
            GetObjectW(
                reinterpret_cast<HFONT>(SendDlgItemMessageW(d, SFX_PIN_READER, WM_GETFONT, 0, 0)),
                sizeof font, &font);
            EXPECT_EQ(font.lfWeight, FW_BOLD);
            HDC dc = GetDC(d);
            EXPECT_EQ(font.lfHeight, -MulDiv(10, GetDeviceCaps(dc, LOGPIXELSY), 72));
            ReleaseDC(d, dc);
            EXPECT_STREQ(font.lfFaceName, L"MS Shell Dlg");
            const gui::Pixels label = painted(d, SFX_PIN_LABEL);
            EXPECT_GT(countOf(label, kPinLabelColour), 10);
            EXPECT_EQ(label.at(label.width - 1, label.height - 1), GetSysColor(COLOR_BTNFACE));
            EXPECT_EQ(countOf(painted(d, SFX_PIN_PROMPT), kPinLabelColour), 0)
                << "only the label is blue";

            // Centred over the owner; the focus in the PIN edit, which masks and takes 64.
            const POINT dialogCentre = gui::centreOf(d), ownerCentre = gui::centreOf(owner);
            EXPECT_NEAR(dialogCentre.x, ownerCentre.x, 1);
            EXPECT_NEAR(dialogCentre.y, ownerCentre.y, 1);
            EXPECT_EQ(gui::focusOf(d), GetDlgItem(d, SFX_PIN_EDIT));
            EXPECT_NE(SendDlgItemMessageW(d, SFX_PIN_EDIT, EM_GETPASSWORDCHAR, 0, 0), 0);
            EXPECT_EQ(SendDlgItemMessageW(d, SFX_PIN_EDIT, EM_GETLIMITTEXT, 0, 0), 64);

            // OK only while a PIN is typed; a press with none is refused.
            EXPECT_FALSE(isEnabled(d, SFX_PIN_OK));
            SendMessageW(d, WM_COMMAND, SFX_PIN_OK, 0);
            EXPECT_TRUE(IsWindow(d));
            typeText(d, SFX_PIN_EDIT, L"12");
            EXPECT_TRUE(isEnabled(d, SFX_PIN_OK));
            gui::setControlText(d, SFX_PIN_EDIT, L"");
            EXPECT_FALSE(isEnabled(d, SFX_PIN_OK));
            typeText(d, SFX_PIN_EDIT, L"1234");
            gui::saveScreenshot("pin_dialog", d);
            click(d, SFX_PIN_OK);
        },
        owner);
    DestroyWindow(owner);
    EXPECT_TRUE(out.found);
    EXPECT_EQ(out.password, u"s3cret");
    EXPECT_EQ(out.dialogs, 1);
    EXPECT_NE(log().find("VerifyPIN Quillon Reader 1 0\r\n"), std::string::npos)
        << "the empty PIN is tried first";
}

TEST_F(TokenPassword, WithoutAPinThePasswordComesWithNoDialog) {
    describe("[reader]\nname = Quillon Reader 1\npassword = plain\n");
    const Outcome out = search([](HWND d, int) { click(d, SFX_PIN_CANCEL); });
    EXPECT_TRUE(out.found);
    EXPECT_EQ(out.password, u"plain");
    EXPECT_EQ(out.dialogs, 0);

    // Without readers, or without stored data, there is nothing, and no dialog either.
    describe("[reader]\nname = Quillon Reader 1\npin = 1\n");
    EXPECT_FALSE(search([](HWND d, int) { click(d, SFX_PIN_CANCEL); }).found);
    describe("");
    EXPECT_FALSE(search([](HWND d, int) { click(d, SFX_PIN_CANCEL); }).found);
    EXPECT_NE(log().find("EnumReaders 0"), std::string::npos);
}

// A wrong PIN reopens the dialog with no message, as often as InitCard allowed; a right PIN on
// the last try still counts; Cancel gives the reader up at once.
TEST_F(TokenPassword, WrongPinsCancelAndTheLastTry) {
    describe(kPinToken + "attempts = 3\n");
    Outcome out = search([](HWND d, int) { enterPin(d, L"9999"); });
    EXPECT_FALSE(out.found);
    EXPECT_EQ(out.dialogs, 3);

    out = search([](HWND d, int n) { enterPin(d, n < 2 ? L"9999" : L"1234"); });
    EXPECT_TRUE(out.found);
    EXPECT_EQ(out.password, u"s3cret");
    EXPECT_EQ(out.dialogs, 3);

    out = search([](HWND d, int) { click(d, SFX_PIN_CANCEL); });
    EXPECT_FALSE(out.found);
    EXPECT_EQ(out.dialogs, 1);
    EXPECT_TRUE(out.password.empty()) << "the output stays untouched";
}

// The first reader has no token; the second, PIN-protected, yields the password; the third is
// never opened. The first is closed again, its card never was open.
TEST_F(TokenPassword, TheFirstReaderThatYieldsAPassword) {
    describe("[reader]\nname = Empty\ntoken = no\n" + kPinToken +
             "[reader]\nname = Third\npassword = other\n");
    const Outcome out = search([](HWND d, int) { enterPin(d, L"1234"); });
    EXPECT_TRUE(out.found);
    EXPECT_EQ(out.password, u"s3cret");
    const std::string l = log();
    EXPECT_NE(l.find("CloseReader Empty\r\n"), std::string::npos) << l;
    EXPECT_EQ(l.find("CloseCard Empty"), std::string::npos) << l;
    EXPECT_NE(l.find("CloseCard Quillon Reader 1 0\r\n"), std::string::npos) << l;
    EXPECT_EQ(l.find("InitReader Third"), std::string::npos) << l;
}

// Labels: "empty" for none; one that fills its 36 bytes with no terminator is cut to the 32
// characters shown. A 64-character PIN reaches the token as its first 63.
TEST_F(TokenPassword, LabelsAndPinsAtTheirLimits) {
    const std::string pin63(63, '7');
    describe(
        "[reader]\nname = A\npin = 1\nattempts = 1\npassword = x\n"
        "[reader]\nname = B\npin = " +
        pin63 + "\nattempts = 1\nlabel = " + std::string(40, 'L') + "\npassword = long-pin\n");
    std::wstring labels[2];
    const Outcome out = search([&](HWND d, int n) {
        labels[n] = controlText(d, SFX_PIN_LABEL);
        if (n == 0) {
            EXPECT_GT(countOf(painted(d, SFX_PIN_LABEL), kPinLabelColour), 10);
            click(d, SFX_PIN_CANCEL);
        } else {
            enterPin(d, std::wstring(64, L'7'));
        }
    });
    EXPECT_EQ(labels[0], L"empty");
    EXPECT_EQ(labels[1], std::wstring(32, L'L'));
    EXPECT_TRUE(out.found);
    EXPECT_EQ(out.password, u"long-pin");
    EXPECT_NE(log().find("VerifyPIN B 63\r\n"), std::string::npos);
}

// A reader name and label that together overflow the exchange buffer: the name is cut so both
// fit. A stored password of 64 characters fits; one of 65 is not cut into a wrong password: that
// token gives none, and the next reader is asked.
TEST_F(TokenPassword, TextsTooLongForTheirBuffers) {
    const std::string longName(200, 'N');
    describe("[reader]\nname = " + longName + "\npin = 1\nlabel = " + std::string(30, 'L') +
             "\npassword = " + std::string(65, 'p') +
             "\n"
             "[reader]\nname = Next\npassword = " +
             std::string(64, 'q') + "\n");
    std::wstring name, label;
    const Outcome out = search([&](HWND d, int) {
        name = controlText(d, SFX_PIN_READER);
        label = controlText(d, SFX_PIN_LABEL);
        gui::saveScreenshot("pin_dialog_long_name", d);
        enterPin(d, L"1");
    });
    EXPECT_EQ(out.dialogs, 1);
    EXPECT_EQ(name, std::wstring(kPinExchangeChars - 30 - 2, L'N'));
    EXPECT_EQ(label, std::wstring(30, L'L'));
    EXPECT_TRUE(out.found);
    EXPECT_EQ(out.password, std::u16string(64, u'q'));
}

// What the PIN edit still holds when the dialog's windows go: the hook sees each message before
// the window does, so the edit's text at its destruction is the text the dialog left in it.
std::wstring g_pinAtDestroy;

LRESULT CALLBACK watchPinEdit(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_DESTROY &&
        GetDlgCtrlID(sent->hwnd) == SFX_PIN_EDIT) {
        wchar_t text[128] = {};
        GetWindowTextW(sent->hwnd, text, 128);
        g_pinAtDestroy = text;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The PIN is emptied out of the edit before the dialog ends, after OK as after Cancel, so it does
// not stay in the control's memory with the dialog gone.
TEST_F(TokenPassword, ThePinIsClearedFromTheEditWhenTheDialogEnds) {
    describe(kPinToken);
    const HHOOK hook =
        SetWindowsHookExW(WH_CALLWNDPROC, watchPinEdit, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);

    g_pinAtDestroy = L"(never destroyed)";
    Outcome out = search([](HWND d, int) { enterPin(d, L"1234"); });
    EXPECT_TRUE(out.found);
    EXPECT_EQ(g_pinAtDestroy, L"") << "after OK";

    g_pinAtDestroy = L"(never destroyed)";
    out = search([](HWND d, int) {
        typeText(d, SFX_PIN_EDIT, L"12");
        click(d, SFX_PIN_CANCEL);
    });
    EXPECT_FALSE(out.found);
    EXPECT_EQ(g_pinAtDestroy, L"") << "after Cancel";
    UnhookWindowsHookEx(hook);
}

}  // namespace
