// The file seam on each platform: create, write, read back, seek, reserve, and the error rules
// the engine relies on.
#include <gtest/gtest.h>

#include <string>

#include "common/support/file_io.h"
#include "common/support/utf8.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(FileIo, CreateWriteReadSeekAndSize) {
    TempFolder dir;
    const std::u16string path = dir.path() + u"\\caf\u00e9 \U0001F600.bin";
    File f;
    ASSERT_TRUE(f.create(path.c_str(), FileCreate::kExclusive));
    EXPECT_EQ(f.write("0123456789", 10), 10);
    EXPECT_EQ(f.size(), 10);
    f.close();

    ASSERT_TRUE(f.open(path.c_str(), FileOpen::kReadShared));
    char buf[16] = {};
    ASSERT_TRUE(f.seek(4));
    EXPECT_EQ(f.read(buf, 16), 6) << "short read at the end";
    EXPECT_EQ(std::string(buf, 6), "456789");
    EXPECT_EQ(f.read(buf, 16), 0);
    f.close();

    ASSERT_TRUE(f.open(path.c_str(), FileOpen::kReadWriteShared));
    ASSERT_TRUE(f.seekEnd());
    EXPECT_EQ(f.write("ab", 2), 2);
    EXPECT_EQ(f.size(), 12);
    f.close();

    // Created anew: an existing file is truncated.
    ASSERT_TRUE(f.create(path.c_str(), FileCreate::kReadShared));
    EXPECT_EQ(f.size(), 0);
    f.close();
    EXPECT_TRUE(deleteFile(path.c_str()));
    EXPECT_FALSE(f.open(path.c_str(), FileOpen::kReadShared));
}

TEST(FileIo, ReserveGivesTheFullSizeBeforeWriting) {
    TempFolder dir;
    const std::u16string path = dir.path() + u"\\big.bin";
    File f;
    ASSERT_TRUE(f.create(path.c_str(), FileCreate::kReadShared));
    ASSERT_TRUE(f.reserve(100000));
    EXPECT_EQ(f.size(), 100000);
    EXPECT_EQ(f.write("xyz", 3), 3);
    f.close();
    ASSERT_TRUE(f.open(path.c_str(), FileOpen::kReadShared));
    EXPECT_EQ(f.size(), 100000);
    EXPECT_TRUE(f.reserve(0)) << "an empty file needs nothing";
}

TEST(FileIo, FoldersAndErrors) {
    TempFolder dir;
    const std::u16string sub = dir.path() + u"\\sub";
    EXPECT_TRUE(createFolder(sub.c_str()));
    EXPECT_FALSE(createFolder(sub.c_str())) << "exists already";
    File f;
    EXPECT_FALSE(f.open(sub.c_str(), FileOpen::kReadShared)) << "a folder is not a file";
    EXPECT_FALSE(f.open((sub + u"\\missing").c_str(), FileOpen::kReadShared));
    EXPECT_NE(lastSystemError(), 0u);
    EXPECT_FALSE(f.open(u"", FileOpen::kReadShared));
    EXPECT_FALSE(f.isOpen());
    EXPECT_TRUE(f.create((sub + u"\\inside.txt").c_str(), FileCreate::kExclusive));

    setLastSystemError(1234);
    EXPECT_EQ(lastSystemError(), 1234u);
}

TEST(Utf8, RoundTripAndRepairs) {
    const std::u16string text = u"a\u00e9\u20ac\U0001F600z";
    EXPECT_EQ(utf8FromWide(text), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z");
    EXPECT_EQ(wideFromUtf8(utf8FromWide(text)), text);
    EXPECT_EQ(utf8FromWide(u"x\xD800y"), "x\xef\xbf\xbdy") << "lone surrogate";
    EXPECT_EQ(wideFromUtf8("a\xff"
                           "b"),
              u"a\uFFFDb");
    EXPECT_EQ(wideFromUtf8("\xe2\x82"), u"\uFFFD\uFFFD") << "cut short";
    EXPECT_EQ(wideFromUtf8("\xc0\xaf"), u"\uFFFD\uFFFD") << "overlong";
    EXPECT_EQ(wideFromUtf8("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD") << "encoded surrogate";
}

}  // namespace
