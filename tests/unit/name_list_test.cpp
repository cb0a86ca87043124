// The creation dialog's list text turned into the writer's names, the old picker's names turned
// back into that text, and the archive name offered from the list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/archive/archive_name.h"
#include "common/archive/name_list.h"

namespace {

// The names up to the first empty one, as the writer walks them.
std::vector<std::u16string> namesOf(const WideBuf& b) {
    std::vector<std::u16string> names;
    for (uint32_t at = 0; at < b.capacity && b.data[at] != 0;) {
        names.emplace_back(b.data + at);
        at += static_cast<uint32_t>(names.back().size()) + 1;
    }
    return names;
}

using Names = std::vector<std::u16string>;

TEST(NameList, QuotedNamesAndBareText) {
    WideBuf b;
    // As the explorer dialog writes three picked files, trailing space included.
    EXPECT_EQ(parseNameList(u"\"a.txt\" \"b c.txt\" \"d\" ", b), 3u);
    EXPECT_EQ(namesOf(b), (Names{u"a.txt", u"b c.txt", u"d"}));
    // No quote anywhere: one name, spaces kept.
    EXPECT_EQ(parseNameList(u" my report.doc", b), 1u);
    EXPECT_EQ(namesOf(b), (Names{u" my report.doc"}));
    // Words outside quotes are dropped; an unclosed last quote still ends its name.
    EXPECT_EQ(parseNameList(u"\"a\" b \"c", b), 2u);
    EXPECT_EQ(namesOf(b), (Names{u"a", u"c"}));
    EXPECT_EQ(parseNameList(u"", b), 0u);
}

TEST(NameList, EmptyQuotedNamesDoNotCutOffTheRest) {
    WideBuf b;
    EXPECT_EQ(parseNameList(u"\"a\" \"\" \"b\"", b), 2u);
    EXPECT_EQ(namesOf(b), (Names{u"a", u"b"}));
    EXPECT_EQ(parseNameList(u"\"\" \"", b), 0u);
    EXPECT_EQ(namesOf(b), Names{});
}

TEST(NameList, BufferGrowsToTheTextAndIsCleared) {
    WideBuf b;
    b.assign(std::u16string(519, u'x').c_str());
    const std::u16string longName(700, u'n');
    EXPECT_EQ(parseNameList((u"\"" + longName + u"\"").c_str(), b), 1u);
    EXPECT_EQ(b.capacity, 703u);
    EXPECT_EQ(namesOf(b), Names{longName});
    // Shorter text in the grown buffer: nothing of the old contents survives behind the names.
    EXPECT_EQ(parseNameList(u"\"q\"", b), 1u);
    for (uint32_t i = 1; i < b.capacity; ++i) ASSERT_EQ(b.data[i], 0) << i;
}

TEST(NameList, QuotedTextRoundTrips) {
    WideBuf list;
    list.assign(u"");
    for (const char16_t* name : {u"report.final.doc", u"b c", u"d"}) {
        ASSERT_TRUE(appendQuotedName(list, name));
    }
    EXPECT_EQ(std::u16string(list.text()), u"\"report.final.doc\" \"b c\" \"d\"");
    WideBuf names;
    EXPECT_EQ(parseNameList(list.text(), names), 3u);
    EXPECT_EQ(namesOf(names), (Names{u"report.final.doc", u"b c", u"d"}));
}

TEST(ArchiveName, LastDotGetsTheExtension) {
    WideBuf out;
    defaultArchiveName(u"report.final.doc", true, out);
    EXPECT_EQ(std::u16string(out.text()), u"report.final.exe");
    defaultArchiveName(u"report.final.doc", false, out);
    EXPECT_EQ(std::u16string(out.text()), u"report.final.tvf");
    defaultArchiveName(u"README", true, out);
    EXPECT_EQ(std::u16string(out.text()), u"README.exe");
    defaultArchiveName(u"notes.", false, out);
    EXPECT_EQ(std::u16string(out.text()), u"notes.tvf");
}

TEST(ArchiveName, FirstQuotedNameOfAList) {
    WideBuf out;
    defaultArchiveName(u"\"b.v2.txt\" \"a.doc\" ", true, out);
    EXPECT_EQ(std::u16string(out.text()), u"b.v2.exe");
    // The dot of a later name is not the first name's.
    defaultArchiveName(u"\"Makefile\" \"a.doc\"", false, out);
    EXPECT_EQ(std::u16string(out.text()), u"Makefile.tvf");
    defaultArchiveName(u"\"unclosed.txt", true, out);
    EXPECT_EQ(std::u16string(out.text()), u"unclosed.exe");
}

}  // namespace
