// The archive layout built with the format routines and found again from the end of a file,
// and the checks that tell a wrong password from a damaged archive.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/archive/archive_format.h"
#include "tests/support/archive_builder.h"
#include "tests/support/temp_folder.h"

namespace {

class Located {
  public:
    Located(const std::vector<uint8_t>& image, const char16_t* password) {
        const std::u16string path = dir_.path() + u"\\image.bin";
        File out;
        out.create(path.c_str(), FileCreate::kExclusive);
        out.write(image.data(), static_cast<uint32_t>(image.size()));
        out.close();
        EXPECT_EQ(cipher_.setPassword(password), password != nullptr && password[0] != 0);
        file_.open(path.c_str(), FileOpen::kReadShared);
        result = locatePayload(file_, cipher_, trailer, info_, files, where);
    }
    ExtractResult result;
    ArchiveTrailer trailer{};
    FileTable files;
    PayloadLocation where;

  private:
    TempFolder dir_;
    PasswordCipher cipher_;
    File file_;
    ByteBuf info_;
};

const std::vector<StoredFile> kWorked = {{u"a.txt", "0123456789"}, {u"b", ""}};

TEST(ArchiveFormat, WorkedLayoutOfTwoFiles) {
    ArchiveTrailer t;
    auto image = buildImage(kWorked, u"pw", "", &t);
    EXPECT_EQ(t.dataSize, 16u);
    EXPECT_EQ(t.dataPadding, 6);
    EXPECT_EQ(t.infoSize, 48u) << "records of 22 and 14 bytes and 12 of padding";
    EXPECT_EQ(t.infoPadding, 12);
    EXPECT_EQ(t.fileCount, 2u);
    EXPECT_EQ(t.stubSize, 0u);
    EXPECT_EQ(image.size(), 96u);

    Located found(image, u"pw");
    ASSERT_EQ(found.result, kExtractOk);
    EXPECT_EQ(found.where.dataOffset, 0u);
    EXPECT_EQ(found.where.infoOffset, 16u);
    ASSERT_EQ(found.files.count(), 2u);
    EXPECT_EQ(std::u16string(found.files.at(0).name), u"a.txt");
    EXPECT_EQ(found.files.at(0).nameLength, 10u);
    EXPECT_EQ(found.files.at(0).size, 10u);
    EXPECT_EQ(std::u16string(found.files.at(1).name), u"b");
    EXPECT_EQ(found.files.at(1).size, 0u);

    // Behind a stub the same payload is found S bytes further on.
    const std::string stub(1234, 'M');
    auto withStub = buildImage(kWorked, u"pw", stub);
    EXPECT_EQ(withStub.size(), 1234u + 96);
    Located behind(withStub, u"pw");
    ASSERT_EQ(behind.result, kExtractOk);
    EXPECT_EQ(behind.where.dataOffset, 1234u);
    EXPECT_EQ(behind.trailer.stubSize, 1234u);
}

TEST(ArchiveFormat, RecordBytesAreLittleEndianUtf16) {
    const char16_t name[] = u"\u00e9\u20ac";
    const FileEntry e{4, 0x0102030405060708ull, name};
    uint8_t out[32];
    ASSERT_EQ(encodeInfoRecord(e, out), 16u);
    const uint8_t expected[16] = {4, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1, 0xe9, 0x00, 0xac, 0x20};
    EXPECT_EQ(0, std::memcmp(out, expected, 16));
    EXPECT_EQ(infoRecordLength(out, 16), 16u);
    FileTable back;
    ASSERT_TRUE(addInfoRecord(out, back));
    EXPECT_EQ(back.sizeOf(0), e.size);
    EXPECT_EQ(std::u16string(back.nameOf(0)), u"\u00e9\u20ac");
}

TEST(ArchiveFormat, DecodingStaysInsideTheBlock) {
    uint8_t rec[64] = {};
    rec[0] = 20;  // a 20-byte name
    EXPECT_EQ(infoRecordLength(rec, 31), kNeedMore) << "name runs past what is at hand";
    EXPECT_EQ(infoRecordLength(rec, 32), 32u);
    EXPECT_EQ(infoRecordLength(rec, 3), kNeedMore) << "not even a length";
    rec[0] = 0;
    EXPECT_EQ(infoRecordLength(rec, 64), 0u) << "an empty name";
    rec[0] = 7;
    EXPECT_EQ(infoRecordLength(rec, 64), 0u) << "half a character";
    rec[0] = 0x08;
    rec[1] = 0x02;  // 520 bytes: longer than any stored name
    std::vector<uint8_t> big(600, 0);
    std::memcpy(big.data(), rec, 12);
    EXPECT_EQ(infoRecordLength(big.data(), big.size()), 0u);
}

TEST(ArchiveFormat, SmallestImagesAreCorrupt) {
    // One empty file with a one-character name: one info block, a trailer, 48 bytes.
    auto image = buildImage({{u"x", ""}}, u"pw", "");
    ASSERT_EQ(image.size(), 48u);
    EXPECT_EQ(Located(image, u"pw").result, kCorrupt);
    EXPECT_EQ(Located({}, u"pw").result, kCorrupt);
    EXPECT_EQ(Located(std::vector<uint8_t>(20, 0), u"pw").result, kCorrupt);
}

TEST(ArchiveFormat, ContentsOfWholeBlocksNeedNoPadding) {
    ArchiveTrailer t;
    buildImage({{u"a", std::string(32, 'a')}, {u"b", ""}}, u"pw", "", &t);
    EXPECT_EQ(t.dataPadding, 0);
    EXPECT_EQ(t.dataSize, 32u);
    buildImage({{u"e1", ""}, {u"e2", ""}}, u"pw", "", &t);
    EXPECT_EQ(t.dataSize, 0u);
}

TEST(ArchiveFormat, WrongKeyIsToldBeforeAnySizeIsTrusted) {
    auto image = buildImage(kWorked, u"right", "");
    EXPECT_EQ(Located(image, u"wrong").result, kWrongPassword);
    EXPECT_EQ(Located(image, nullptr).result, kWrongPassword) << "read without the key";
    auto plain = buildImage(kWorked, nullptr, "");
    EXPECT_EQ(Located(plain, nullptr).result, kExtractOk);
    EXPECT_EQ(Located(plain, u"any").result, kWrongPassword) << "read with a key it lacks";
}

TEST(ArchiveFormat, TamperedTrailerBytes) {
    const auto image = buildImage(kWorked, u"pw", "");
    const std::size_t trailerAt = image.size() - kTrailerSize;
    for (std::size_t i = 0; i < kTrailerSize; ++i) {
        auto changed = image;
        changed[trailerAt + i] ^= 0x01;
        // Bytes 8-31 feed the check value (the second block through its own decryption, bytes
        // 8-15 of the first through the chaining); bytes 0-7 only garble the sizes.
        const ExtractResult expected = i < 8 ? kCorrupt : kWrongPassword;
        EXPECT_EQ(Located(changed, u"pw").result, expected) << "trailer byte " << i;
    }
}

TEST(ArchiveFormat, BytesAddedOrRemovedBeforeTheTrailer) {
    const auto image = buildImage(kWorked, u"pw", "STUB");
    for (std::size_t at : {std::size_t{0}, std::size_t{4}, std::size_t{30}, image.size() - 33}) {
        auto inserted = image;
        inserted.insert(inserted.begin() + static_cast<std::ptrdiff_t>(at), 0x00);
        EXPECT_EQ(Located(inserted, u"pw").result, kCorrupt) << "inserted at " << at;
        auto removed = image;
        removed.erase(removed.begin() + static_cast<std::ptrdiff_t>(at));
        EXPECT_EQ(Located(removed, u"pw").result, kCorrupt) << "removed at " << at;
    }
    auto appended = image;
    appended.push_back(0);
    EXPECT_EQ(Located(appended, u"pw").result, kWrongPassword) << "no longer ends in the trailer";
}

TEST(ArchiveFormat, ForgedCountsAndSizesWithoutAKeyAreCorrupt) {
    // Without a password anybody can write any trailer: the sizes and counts must be checked
    // against the file before they are used.
    auto image = buildImage(kWorked, nullptr, "");
    const std::size_t t = image.size() - kTrailerSize;
    auto forge = [&](auto edit) {
        auto copy = image;
        ArchiveTrailer tr;
        std::memcpy(&tr, copy.data() + t, kTrailerSize);
        edit(tr);
        std::memcpy(copy.data() + t, &tr, kTrailerSize);
        return Located(copy, nullptr).result;
    };
    EXPECT_EQ(forge([](ArchiveTrailer& tr) { tr.fileCount = 0xFFFFFFFFu; }), kCorrupt);
    EXPECT_EQ(forge([](ArchiveTrailer& tr) { tr.fileCount = 5; }), kCorrupt) << "records run out";
    EXPECT_EQ(forge([](ArchiveTrailer& tr) { tr.dataSize = ~0ull; }), kCorrupt);
    EXPECT_EQ(forge([](ArchiveTrailer& tr) {
                  tr.infoSize = 0xFFFFFFF0u;
                  tr.dataSize = 0;
              }),
              kCorrupt);
    EXPECT_EQ(forge([](ArchiveTrailer& tr) { tr.fileCount = 0; }), kCorrupt)
        << "data that no record accounts for";
}

}  // namespace
