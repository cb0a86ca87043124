// Text lookup by id. Natively the texts come from the compiled-in table; on Windows from the
// string table each test program carries, as the deliverables do. localised_text_system_test
// covers the module fallback with real resource modules.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "common/support/localised_text.h"
#include "common/support/string_ids.h"

namespace {

constexpr uint32_t kNoSuchText = 6999;

TEST(LocalisedText, TextsByNamedId) {
    EXPECT_EQ(std::u16string(loadText(kStrEnterPassword)), u"Enter password");
    EXPECT_EQ(std::u16string(loadText(kStrEncrypt)), u"Encrypt: ");
    EXPECT_EQ(std::u16string(loadText(kStrMemoryError)), u"A memory error has occured!");
    EXPECT_EQ(std::u16string(loadText(kStrExtractHelp)),
              u"To extract files, press button Extract.\n\nTo select destination directory, "
              u"press button Browse.\n\nIf destination directory doesnt exist, it will be "
              u"created.");
    EXPECT_EQ(kStrWrongPassword, 2503u);
    EXPECT_EQ(std::u16string(loadText(2503)), u"The password you entered is incorrect!");
}

TEST(LocalisedText, MissingTextIsEmpty) {
    char16_t mine[16] = u"left over";
    const char16_t* text = loadText(kNoSuchText, mine, 16);
    EXPECT_EQ(text, mine);
    EXPECT_EQ(text[0], u'\0');
    loadText(kStrCompleted);
    EXPECT_EQ(std::u16string(loadText(kNoSuchText)), u"") << "shared buffer still held a text";
}

TEST(LocalisedText, CutToTheBufferNeverPastIt) {
    char16_t mine[8];
    std::fill(std::begin(mine), std::end(mine), u'#');
    EXPECT_EQ(std::u16string(loadText(kStrEnterPassword, mine, 6)), u"Enter");
    EXPECT_EQ(mine[6], u'#');
    EXPECT_EQ(std::u16string(loadText(kStrEnterPassword, mine, 1)), u"");
    EXPECT_EQ(mine[1], u'n') << "size 1 writes only the terminator";
    // No room even for a terminator: the buffer is left alone and the result is still a string.
    mine[0] = u'#';
    EXPECT_EQ(std::u16string(loadText(kStrEnterPassword, mine, 0)), u"");
    EXPECT_EQ(std::u16string(loadText(kStrEnterPassword, mine, -5)), u"");
    EXPECT_EQ(mine[0], u'#');
    // -1 is 1024 characters, room for the longest text.
    char16_t large[kSharedTextChars];
    EXPECT_EQ(std::u16string(loadText(kStrExtractHelp, large, -1)).size(), 154u);
}

TEST(LocalisedText, SharedBufferIsReusedAndHonoursTheSize) {
    const char16_t* first = loadText(kStrCancel);
    EXPECT_EQ(std::u16string(first), u"Cancel");
    const char16_t* second = loadText(kStrCompleted, nullptr, 5);
    EXPECT_EQ(second, first);
    EXPECT_EQ(std::u16string(second), u"Comp");
}

}  // namespace
