// Paths turned into the \\?\ form the destination hands to Windows: the form skips the system's
// own clean-up, so what it would have done ("..", slashes, a trailing backslash, a relative
// path) must be done before the prefix, or the path names something else.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/support/native_path.h"

namespace {

std::u16string native(const std::u16string& path, uint32_t capacity = kLongPathChars + 1) {
    std::u16string out(capacity, u'\0');
    const uint32_t n = nativePathOf(path.c_str(), out.data(), capacity);
    out.resize(n);
    return out;
}

TEST(NativePath, AbsolutePathsGetThePrefixAfterTheSystemsCleanUp) {
    EXPECT_EQ(native(u"C:\\a\\b"), u"\\\\?\\C:\\a\\b");
    EXPECT_EQ(native(u"C:\\a\\b\\"), u"\\\\?\\C:\\a\\b") << "a trailing backslash goes";
    EXPECT_EQ(native(u"C:\\"), u"\\\\?\\C:\\") << "but a root keeps its own";
    EXPECT_EQ(native(u"C:/a/./c/../b"), u"\\\\?\\C:\\a\\b") << "slashes, . and .. resolved";
    EXPECT_EQ(native(u"\\\\server\\share\\x"), u"\\\\?\\UNC\\server\\share\\x");
    EXPECT_EQ(native(u"\\\\?\\C:\\as\\is"), u"\\\\?\\C:\\as\\is");
}

TEST(NativePath, RelativePathsBecomeAbsoluteFirst) {
    wchar_t current[MAX_PATH] = {};
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    std::u16string expected = u"\\\\?\\";
    for (const wchar_t* c = current; *c != 0; ++c) expected += static_cast<char16_t>(*c);
    if (expected.back() != u'\\') expected += u'\\';
    EXPECT_EQ(native(u"rel\\x"), expected + u"rel\\x");
}

TEST(NativePath, APathThatDoesNotFitIsNoPath) {
    EXPECT_EQ(native(u"C:\\a\\long\\enough\\path", 12), u"");
    const std::u16string longest = u"C:\\" + std::u16string(kLongPathChars, u'x');
    EXPECT_EQ(native(longest), u"") << "past the system's own limit";
}

}  // namespace
