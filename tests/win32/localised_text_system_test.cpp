// Text lookup on Windows against real string tables: this program carries the whole table (it is
// the main program module), test_language_module.dll a few ids in another language.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/support/localised_text.h"
#include "common/support/string_ids.h"

namespace {

constexpr uint32_t kOnlyInModule = 7000, kLongText = 7001, kNoSuchText = 6999;

std::u16string text(uint32_t id) {
    return loadText(id);
}

class LanguageModule : public ::testing::Test {
  protected:
    void SetUp() override {
        module = LoadLibraryW(L"test_language_module.dll");
        ASSERT_NE(module, nullptr);
        setStringModule(module);
    }
    void TearDown() override {
        setStringModule(nullptr);
        if (module != nullptr) FreeLibrary(module);
    }
    HMODULE module = nullptr;
};

TEST(ProgramStringTable, EveryTextOfTheTableComesBackAsWritten) {
    // The resources were compiled from the same list; this catches any text the resource
    // compiler reads differently from C++ (escapes, quotes, lengths).
    setStringModule(nullptr);
#define QUILLON_TEXT(id, name, literal) EXPECT_EQ(text(name), std::u16string(u"" literal)) << id;
#include "common/support/string_table.def"
#undef QUILLON_TEXT
}

TEST_F(LanguageModule, ItsTextsWinOverTheProgramsOwn) {
    EXPECT_EQ(text(kStrEnterPassword), u"Passwort eingeben");
    EXPECT_EQ(text(kStrCompleted), u"Fertig");
    EXPECT_EQ(text(kOnlyInModule), u"Nur im Sprachmodul");
    setStringModule(nullptr);
    EXPECT_EQ(text(kStrEnterPassword), u"Enter password") << "a null module falls to the program";
    EXPECT_EQ(text(kOnlyInModule), u"");
}

TEST_F(LanguageModule, MissingOrEmptyThereFallsToTheProgram) {
    EXPECT_EQ(text(kStrSelfExtractingTitle), u"Self-extracting Quillon archive");
    EXPECT_EQ(text(kStrCancel), u"Cancel") << "an empty text counts as missing";
    char16_t mine[8] = u"old";
    EXPECT_EQ(std::u16string(loadText(kNoSuchText, mine, 8)), u"");
}

TEST_F(LanguageModule, LongTextIsCutToTheBuffer) {
    const std::u16string whole = text(kLongText);
    ASSERT_EQ(whole.size(), size_t(kSharedTextChars - 1));
    for (size_t i = 0; i < whole.size(); ++i) ASSERT_EQ(whole[i], u'0' + i % 10) << i;
    // A size beyond the shared buffer is held to the buffer's 1024 characters.
    EXPECT_EQ(std::u16string(loadText(kLongText, nullptr, 4000)).size(), whole.size());
    char16_t mine[12];
    mine[10] = mine[11] = u'#';
    EXPECT_EQ(std::u16string(loadText(kLongText, mine, 10)), u"012345678");
    EXPECT_EQ(mine[10], u'#');
    // Size 0 would make the system store a pointer in the buffer; nothing is written.
    mine[0] = u'#';
    EXPECT_EQ(std::u16string(loadText(kLongText, mine, 0)), u"");
    EXPECT_EQ(mine[0], u'#');
}

}  // namespace
