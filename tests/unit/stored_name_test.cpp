// Which stored names may become paths under the destination, and folder chains.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/archive/directory_chain.h"
#include "common/archive/stored_name.h"
#include "tests/support/temp_folder.h"

namespace {

bool safe(const std::u16string& name) {
    return isSafeStoredName(name.data(), static_cast<uint32_t>(name.size()));
}

TEST(StoredName, PlainRelativeNamesAreAccepted) {
    for (const char16_t* ok :
         {u"a.txt", u"sub\\deep\\a.txt", u"sub/a.txt", u"r\u00e9sum\u00e9.doc", u".hidden", u"a..b",
          u"CONFIG.SYS", u"COM10", u"console.log", u"COM\u2074", u"CONIN", u"CONIN$X",
          // Punctuation Windows does hold in a file name.
          u"a#b&c", u"[x] (1)", u"50%'s", u"a+b=c;d,e", u"{braces}~", u"\uff1f full-width"}) {
        EXPECT_TRUE(safe(ok)) << std::filesystem::path(ok).string();
    }
}

TEST(StoredName, NamesThatLeaveTheDestinationAreRefused) {
    for (const char16_t* bad : {u"",
                                u"..\\..\\x",
                                u"a\\..\\..\\x",
                                u"..",
                                u".",
                                u"\\x",
                                u"/x",
                                u"C:\\x",
                                u"C:x",
                                u"\\\\server\\x",
                                u"file.txt:stream",
                                u"a\\\\b",
                                u"a\\",
                                u"a\\.\\b",
                                u".. \\x",
                                u"...",
                                u"x.",
                                u"x ",
                                u"NUL",
                                u"con.txt",
                                u"Aux",
                                u"sub\\COM1",
                                u"lpt9.log",
                                u"COM0",
                                u"LPT0.txt",
                                u"COM\u00b9",
                                u"lpt\u00b2.txt",
                                u"sub\\COM\u00b3",
                                u"CONIN$",
                                u"conout$.txt",
                                u"tab\there",
                                u"bell\a"}) {
        EXPECT_FALSE(safe(bad)) << std::filesystem::path(bad).string();
    }
    const char16_t withZero[] = {u'a', 0, u'b'};
    EXPECT_FALSE(isSafeStoredName(withZero, 3)) << "a zero inside the stored length";
}

// A name no Windows file can have would be stored elsewhere and fail there only after its data
// had been decrypted; every reader refuses it up front instead.
TEST(StoredName, CharactersWindowsCannotHoldAreRefused) {
    for (const char16_t* bad :
         {u"what?.txt", u"*", u"a*b", u"<tag>", u"x<y", u"x>y", u"pipe|line", u"\"quoted\"",
          u"say\"hi", u"sub?\\file.txt", u"sub\\deep>\\file.txt", u"ok\\fine\\last|"}) {
        EXPECT_FALSE(safe(bad)) << std::filesystem::path(bad).string();
    }
}

TEST(StoredName, RootLengths) {
    auto root = [](const std::u16string& p) {
        return pathRootLength(p.data(), static_cast<uint32_t>(p.size()));
    };
    EXPECT_EQ(root(u"C:\\dir\\x"), 3u);
    EXPECT_EQ(root(u"C:dir"), 2u);
    EXPECT_EQ(root(u"\\\\server\\share\\dir"), 15u);
    EXPECT_EQ(root(u"\\dir"), 1u);
    EXPECT_EQ(root(u"/tmp/x"), 1u);
    EXPECT_EQ(root(u"rel\\dir"), 0u);
}

TEST(DirectoryChain, CreatesEveryMissingFolderRelativeOrAbsolute) {
    TempFolder dir;
    createDirectoryChain((dir.path() + u"\\sub\\deep\\er").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(dir.native() / "sub" / "deep" / "er"));
    // Again over existing folders, and with a trailing separator.
    createDirectoryChain((dir.path() + u"\\sub\\deep\\two\\").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(dir.native() / "sub" / "deep" / "two"));

    // A relative chain starts at its first component.
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.native());
    createDirectoryChain(u"a\\b\\c");
    std::filesystem::current_path(saved);
    EXPECT_TRUE(std::filesystem::is_directory(dir.native() / "a" / "b" / "c"));
}

}  // namespace
