// The writer's bytes, exactly: whatever path a file takes through it (small files gathered many
// to a chunk, large ones read ahead chunk by chunk, empty ones in between), the archive must be
// byte for byte the image laid out here in one piece from the format routines: the data stream
// as one chain, the info block with its integrity record, the sealed trailer.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/archive/archive_format.h"
#include "common/archive/integrity_record.h"
#include "common/archive/job_records.h"
#include "common/support/utf8.h"
#include "tests/support/archive_builder.h"
#include "tests/support/file_tree.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr std::size_t kChunk = 512 * 1024;

struct Named {
    std::string name;  // with '/' between folders
    std::string content;
};

std::u16string storedName(const std::string& name) {
    std::u16string w = wideFromUtf8(name);
    for (char16_t& c : w) {
        if (c == u'/') c = u'\\';
    }
    return w;
}

// The whole image in memory, regions laid out one after another as the format describes them.
std::vector<uint8_t> expectedImage(const std::vector<Named>& files, const char16_t* password,
                                   const std::string& stub, bool integrity) {
    PasswordCipher cipher;
    if (password != nullptr) {
        EXPECT_TRUE(cipher.setPassword(password));
    }
    std::vector<uint8_t> data, info;
    for (const Named& f : files) data.insert(data.end(), f.content.begin(), f.content.end());
    ArchiveTrailer trailer{};
    trailer.dataPadding = static_cast<uint8_t>(paddingTo16(data.size()));
    data.resize(data.size() + trailer.dataPadding, 0);
    encryptRegion(cipher, data.data(), data.size());
    for (const Named& f : files) {
        const std::u16string name = storedName(f.name);
        uint8_t record[kInfoRecordHeader + kMaxNameBytes];
        const uint32_t n = encodeInfoRecord(
            FileEntry{static_cast<uint32_t>(2 * name.size()), f.content.size(), name.c_str()},
            record);
        info.insert(info.end(), record, record + n);
    }
    const uint32_t r = static_cast<uint32_t>(info.size());
    trailer.fileCount = static_cast<uint32_t>(files.size());
    trailer.stubSize = static_cast<uint32_t>(stub.size());
    trailer.dataSize = data.size();
    if (integrity) {
        trailer.infoPadding = static_cast<uint8_t>(roundUp16(r) - r);
        trailer.recordVersion = kIntegrityVersion;
        info.resize(r + recordBytesFor(r, kIntegrityVersion));
        encodeRecord(r, cipher.hasKey(), nullptr, info.data() + r, kIntegrityVersion);
        trailer.infoSize = static_cast<uint32_t>(info.size());
        EXPECT_TRUE(sealInfo(cipher, trailer, data, info, r, kIntegrityVersion));
    } else {
        trailer.infoPadding = static_cast<uint8_t>(paddingTo16(r));
        info.resize(r + trailer.infoPadding, 0);
        trailer.infoSize = static_cast<uint32_t>(info.size());
    }
    encryptRegion(cipher, info.data(), info.size());
    uint8_t sealed[kTrailerSize];
    sealTrailer(cipher, trailer, sealed);
    std::vector<uint8_t> image(stub.begin(), stub.end());
    image.insert(image.end(), data.begin(), data.end());
    image.insert(image.end(), info.begin(), info.end());
    image.insert(image.end(), sealed, sealed + kTrailerSize);
    return image;
}

// Writes `files` (in that order) through the writer and gives the archive's bytes.
std::vector<uint8_t> written(const std::vector<Named>& files, const char16_t* password,
                             const std::string& stub, bool integrity) {
    TempFolder dir;
    std::u16string list;
    for (const Named& f : files) {
        file_tree::put(file_tree::below(dir.native() / "src", f.name), f.content);
        list += storedName(f.name) + u'\0';
    }
    list += u'\0';
    const std::u16string archive = dir.path() + u"\\archive.bin";
    ArchiveWriter w;
    w.configure(nullptr, (dir.path() + u"\\src").c_str(), archive.c_str(), list.data(),
                static_cast<uint32_t>(list.size()), static_cast<uint32_t>(files.size()));
    if (!stub.empty()) {
        w.stubImage = {reinterpret_cast<const uint8_t*>(stub.data()),
                       static_cast<uint32_t>(stub.size())};
    }
    w.integrity = integrity;
    if (password != nullptr) {
        EXPECT_TRUE(w.setPassword(password));
    }
    w.run();
    EXPECT_EQ(w.writeResult, kWriteOk);
    const std::string bytes = file_tree::get(file_tree::native(archive));
    return {bytes.begin(), bytes.end()};
}

// Sizes chosen so chunks fill in the middle of files, small files follow large ones and the
// other way round, and empty files stand at every kind of place.
std::vector<Named> mixedFiles() {
    std::vector<Named> files;
    unsigned seed = 7;
    auto add = [&](const std::string& name, std::size_t size) {
        files.push_back({name, file_tree::pattern(size, seed++)});
    };
    add("empty-first", 0);
    for (int i = 0; i < 400; ++i) {
        // 0 to 3,999 bytes, never a multiple of 16 for long: the carried bytes move around.
        add("small/" + std::to_string(i % 7) + "/f" + std::to_string(i), (i * 2654435761u) % 4000);
    }
    add("large/exact-chunk", kChunk);
    add("large/after-exact", 5);
    add("large/crossing", kChunk + 4097);
    add("large/empty-between", 0);
    add("large/just-under-a-chunk", kChunk - 1);
    add("large/three-chunks-less-seven", 3 * kChunk - 7);
    for (int i = 0; i < 300; ++i) add("tail/g" + std::to_string(i), (i * 40503u) % 9000);
    add("empty-last", 0);
    return files;
}

TEST(WriterLayout, ManySmallAndLargeFilesGiveTheSameBytesAsOneLayout) {
    const std::vector<Named> files = mixedFiles();
    for (const bool integrity : {true, false}) {
        for (const char16_t* password : {u"p\u00e4ss", static_cast<const char16_t*>(nullptr)}) {
            SCOPED_TRACE(std::string(integrity ? "with" : "without") + " integrity record, " +
                         (password != nullptr ? "keyed" : "no password"));
            const std::vector<uint8_t> got = written(files, password, "MZ-stub", integrity);
            const std::vector<uint8_t> want = expectedImage(files, password, "MZ-stub", integrity);
            ASSERT_EQ(got.size(), want.size());
            // The first differing offset says which region went wrong.
            std::size_t at = 0;
            while (at < got.size() && got[at] == want[at]) ++at;
            EXPECT_EQ(at, got.size());
        }
    }
}

TEST(WriterLayout, OnlySmallFilesAndOnlyOneLargeFile) {
    std::vector<Named> small;
    // Just over two chunks of small files, so the last gathered chunk is a partial one.
    for (int i = 0; small.size() < 400; ++i) {
        small.push_back({"s" + std::to_string(i), file_tree::pattern(2800 + i % 13, i)});
    }
    const std::vector<Named> large = {{"big", file_tree::pattern(2 * kChunk + 3, 99)}};
    for (const std::vector<Named>* files : {&std::as_const(small), &large}) {
        EXPECT_EQ(written(*files, u"pw", "", true), expectedImage(*files, u"pw", "", true));
    }
}

}  // namespace
