// The extractor's run in-process, for what the whole program cannot be made to show: a progress
// dialog that the system cannot create.
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

// This program lacks the progress template, so the run cannot show its dialog and extracts
// nothing; the user must hear of it, not get the silence of a success.
TEST(ExtractSelf, AProgressDialogThatCannotOpenIsReported) {
    TempFolder folder;
    const std::u16string archive = folder.path() + u"\\a.tvf";
    const std::u16string destination = folder.path() + u"\\out";
    const std::vector<uint8_t> image = buildImage({{u"a.txt", "hello"}}, u"pw", "");
    file_tree::put(file_tree::native(archive), std::string(image.begin(), image.end()));

    const HINSTANCE self = GetModuleHandleW(nullptr);
    std::wstring shown = L"(no message box)";
    gui::driveDialog(
        [&] {
            extractSelf(self, nullptr, self, destination.c_str(), archive.c_str(), u"pw");
            return 0;
        },
        [&](HWND box) {
            shown = gui::controlText(box, 0xFFFF);
            gui::click(box, IDOK);
        });
    EXPECT_EQ(shown, L"A memory error has occured!");
    EXPECT_FALSE(std::filesystem::exists(file_tree::native(destination) / "a.txt"));
}

}  // namespace
