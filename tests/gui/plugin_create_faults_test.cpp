// Add Files in the creation dialog, run in this process against the real open-file dialog: the
// folder and names it leaves must be the ones the open-file dialog returned, even when the last
// selection change the dialog's hook saw was somewhere else.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/archive/wide_buf.h"
#include "common/support/code_page.h"
#include "sfxbuild/creation_dialog.h"
#include "sfxbuild/file_pickers.h"
#include "sfxbuild/library_state.h"
#include "sfxbuild/resource_ids.h"
#include "tests/gui/gui_driver.h"
#include "tests/gui/program_files.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFileNameBox = 1152;  // of the open-file dialog

BOOL CALLBACK findListView(HWND window, LPARAM found) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (std::wstring(name) != L"SysListView32") return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The index of the item showing `name` once the open-file dialog lists it (after a folder
// change, say), with the list view; -1 if it never does.
int waitForItem(HWND open, const std::wstring& name, HWND& view) {
    for (int i = 0; i < 500; ++i, Sleep(20)) {
        view = nullptr;
        EnumChildWindows(open, findListView, reinterpret_cast<LPARAM>(&view));
        if (view == nullptr) continue;
        LVFINDINFOW find = {};
        find.flags = LVFI_STRING;
        find.psz = name.c_str();
        const auto index = SendMessageW(view, LVM_FINDITEMW, -1, reinterpret_cast<LPARAM>(&find));
        if (index >= 0) return static_cast<int>(index);
    }
    return -1;
}

// Selects the item showing `name`, as a click would: the dialog's hook sees a selection change.
bool select(HWND open, const std::wstring& name) {
    HWND view = nullptr;
    const int index = waitForItem(open, name, view);
    if (index < 0) return false;
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(view, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
    return true;
}

// Types `text` into the open-file dialog's name box and presses Open.
void typeAndOpen(HWND open, const std::wstring& text) {
    SetDlgItemTextW(open, kFileNameBox, text.c_str());
    PostMessageW(open, WM_COMMAND, IDOK, 0);
}

// Types a folder into the name box and presses Open, which enters the folder; returns once the
// dialog has taken the press, so no later selection can be opened by it.
void enter(HWND open, const std::wstring& folder) {
    SetDlgItemTextW(open, kFileNameBox, folder.c_str());
    SendMessageW(open, WM_COMMAND, IDOK, 0);
}

class CreationPick : public testing::Test {
  protected:
    fs::path root;

    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        root = fs::path(temp) / ("create_faults_" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(root);
        for (const char* name : {"first\\alpha.txt", "second\\beta.txt", "second\\delta.txt"})
            gui::writeFile(root / name, name);
        setOwnModule(GetModuleHandleW(nullptr));
        selectionFolder()[0] = 0;
        SetCurrentDirectoryW((root / "first").c_str());
    }
    void TearDown() override {
        SetCurrentDirectoryW(root.parent_path().c_str());
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // Opens the creation dialog, selects alpha.txt of "first" in the open-file dialog, then lets
    // `elsewhere` finish the pick. Returns the list and archive name shown.
    std::pair<std::wstring, std::wstring> pick(const std::function<void(HWND open)>& elsewhere) {
        const DWORD thread = GetCurrentThreadId();
        CreateRequest request;
        std::wstring list, name;
        gui::driveDialog(
            [&] {
                return static_cast<int>(DialogBoxParamW(
                    GetModuleHandleW(nullptr), MAKEINTRESOURCEW(BUILD_CREATE_DIALOG), nullptr,
                    CreationDialog, reinterpret_cast<LPARAM>(&request)));
            },
            [&](HWND dialog) {
                PostMessageW(dialog, WM_COMMAND, BUILD_CREATE_ADD_FILES, 0);
                const HWND open = gui::waitForOtherDialog(thread, dialog);
                ASSERT_NE(open, nullptr);
                // Wherever the dialog starts, a folder typed into its box is entered.
                enter(open, (root / "first").wstring());
                // The folder's new view may still replace the one listing it: select until the
                // name box shows the selection.
                bool selected = false;
                for (int i = 0; i < 20 && !selected; ++i) {
                    select(open, L"alpha.txt");
                    Sleep(100);
                    selected = gui::controlText(open, kFileNameBox) == L"alpha.txt";
                }
                EXPECT_TRUE(selected) << "alpha.txt could not be selected";
                if (selected) elsewhere(open);
                if (!gui::waitUntilGone(open, 10000)) {
                    ADD_FAILURE() << "the open-file dialog stayed";
                    PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
                    gui::waitUntilGone(open, 10000);
                }
                list = gui::controlText(dialog, BUILD_CREATE_FILE_LIST);
                name = gui::controlText(dialog, BUILD_CREATE_ARCHIVE_NAME);
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            });
        return {list, name};
    }

    std::wstring folder() const { return reinterpret_cast<const wchar_t*>(selectionFolder()); }
};

TEST_F(CreationPick, FileTypedWithItsPathComesFromThatFolder) {
    const auto [list, name] =
        pick([&](HWND open) { typeAndOpen(open, (root / "second" / "beta.txt").wstring()); });
    EXPECT_EQ(list, L"beta.txt");
    EXPECT_EQ(name, L"beta.tvf");
    EXPECT_EQ(folder(), (root / "second").wstring());
}

TEST_F(CreationPick, NamesTypedInAnotherFolderAreTheOnesListed) {
    const auto [list, name] = pick([&](HWND open) {
        // The names typed are opened in the folder entered before.
        enter(open, (root / "second").wstring());
        HWND view = nullptr;
        EXPECT_GE(waitForItem(open, L"delta.txt", view), 0) << "the folder was not entered";
        typeAndOpen(open, L"\"beta.txt\" \"delta.txt\"");
    });
    EXPECT_EQ(list, L"\"beta.txt\" \"delta.txt\"");
    EXPECT_EQ(name, L"beta.tvf");
    EXPECT_EQ(folder(), (root / "second").wstring());
}

// Two open-file dialogs at once, the second opened from inside the first's modal loop (a host may
// call an export there): stand-ins for both, each with its folder and name box, and a hook dialog
// of each getting its messages straight from the test.
struct StandInPicker {
    std::wstring folder;
    HWND window = nullptr;
    HWND hook = nullptr;
    WideBuf capture;
    OPENFILENAMEW ofn = {};

    // The open-file dialog's answer to CDM_GETFOLDERPATH: its folder, the count with the
    // terminator.
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == CDM_GETFOLDERPATH) {
            const auto* self =
                reinterpret_cast<const StandInPicker*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            const int room = static_cast<int>(wParam);
            if (room <= static_cast<int>(self->folder.size())) return -1;
            wcscpy(reinterpret_cast<wchar_t*>(lParam), self->folder.c_str());
            return static_cast<LRESULT>(self->folder.size() + 1);
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static void registerClasses() {
        static bool done = false;
        if (done) return;
        done = true;
        WNDCLASSW picker = {};
        picker.lpfnWndProc = procedure;
        picker.hInstance = GetModuleHandleW(nullptr);
        picker.lpszClassName = L"QuillonStandInPicker";
        RegisterClassW(&picker);
        // The hook is a dialog: room for the dialog's own values, DWLP_USER among them.
        WNDCLASSW hook = {};
        hook.lpfnWndProc = DefWindowProcW;
        hook.cbWndExtra = DLGWINDOWEXTRA;
        hook.hInstance = GetModuleHandleW(nullptr);
        hook.lpszClassName = L"QuillonStandInHook";
        RegisterClassW(&hook);
    }

    StandInPicker(const std::wstring& inFolder, const std::wstring& names) : folder(inFolder) {
        registerClasses();
        window = CreateWindowW(L"QuillonStandInPicker", L"Open", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                               200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        CreateWindowW(L"EDIT", names.c_str(), WS_CHILD, 0, 0, 200, 20, window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFileNameBox)),
                      GetModuleHandleW(nullptr), nullptr);
        hook = CreateWindowW(L"QuillonStandInHook", L"", WS_CHILD, 0, 0, 10, 10, window, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
        ofn.lStructSize = sizeof ofn;
        ofn.lCustData = reinterpret_cast<LPARAM>(&capture);
        selectionHook(hook, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&ofn));
    }
    ~StandInPicker() { DestroyWindow(window); }

    void selectionChanged() {
        NMHDR note = {};
        note.hwndFrom = window;
        note.code = CDN_SELCHANGE;
        selectionHook(hook, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note));
    }
    // The folder, then the name box, as captured.
    std::wstring captured() const {
        if (capture.data == nullptr || capture.length() == 0) return L"";
        const char16_t* box = capture.data + capture.length() + 1;
        return std::wstring(capture.data, capture.data + capture.length()) + L"|" +
               std::wstring(box, box + wideLength(box));
    }
};

// Each hook fills its own dialog's buffer, whichever opened last and whether or not the other
// has ended: the outer pick keeps what the user selected in it.
TEST(SelectionHook, EachOpenFileDialogCapturesIntoItsOwnBuffer) {
    auto outer = std::make_unique<StandInPicker>(L"C:\\outer", L"\"a.txt\" \"b.txt\" ");
    {
        StandInPicker inner(L"C:\\inner", L"\"c.txt\" ");
        outer->selectionChanged();
        inner.selectionChanged();
        EXPECT_EQ(outer->captured(), L"C:\\outer|\"a.txt\" \"b.txt\" ");
        EXPECT_EQ(inner.captured(), L"C:\\inner|\"c.txt\" ");
    }
    // The inner dialog has ended; the outer one goes on capturing.
    SetDlgItemTextW(outer->window, kFileNameBox, L"\"b.txt\" ");
    outer->selectionChanged();
    EXPECT_EQ(outer->captured(), L"C:\\outer|\"b.txt\" ");
}

}  // namespace
