// The extractor's run in-process, for what the whole program cannot be made to show: dialogs
// that the system cannot create.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sfxstub/extract_self.h"
#include "tests/gui/gui_driver.h"
#include "tests/support/archive_builder.h"
#include "tests/support/file_tree.h"
#include "tests/support/temp_folder.h"

namespace {

// A run whose dialogs cannot be shown extracts nothing; the user must hear of it, not get the
// silence of a success or the blame for a password.
struct SelfRun {
    TempFolder folder;
    std::u16string archive = folder.path() + u"\\a.tvf";
    std::u16string destination = folder.path() + u"\\out";

    SelfRun() {
        const std::vector<uint8_t> image = buildImage({{u"a.txt", "hello"}}, u"pw", "");
        file_tree::put(file_tree::native(archive), std::string(image.begin(), image.end()));
    }

    // Runs the extraction with dialog templates from `templates` and this token password (null:
    // typed) and returns the message shown.
    std::wstring messageOf(HINSTANCE templates, const char16_t* tokenPassword) {
        const HINSTANCE self = GetModuleHandleW(nullptr);
        std::wstring shown = L"(no message box)";
        gui::driveDialog(
            [&] {
                extractSelf(templates, nullptr, self, destination.c_str(), archive.c_str(),
                            tokenPassword);
                return 0;
            },
            [&](HWND box) {
                shown = gui::controlText(box, 0xFFFF);
                gui::click(box, IDOK);
            });
        return shown;
    }

    bool extracted() const {
        return std::filesystem::exists(file_tree::native(destination) / "a.txt");
    }
};

TEST(ExtractSelf, DialogsThatCannotOpenAreReportedAndExtractNothing) {
    // A token password skips the password dialog; a module without templates has no progress
    // dialog either.
    SelfRun withToken;
    EXPECT_EQ(withToken.messageOf(GetModuleHandleW(L"kernel32.dll"), u"pw"),
              L"A memory error has occured!");
    EXPECT_FALSE(withToken.extracted());
    // Without one the password dialog cannot open: that is no wrong password, and nothing runs.
    SelfRun typed;
    EXPECT_EQ(typed.messageOf(GetModuleHandleW(nullptr), nullptr), L"A memory error has occured!");
    EXPECT_FALSE(typed.extracted());
}

}  // namespace
