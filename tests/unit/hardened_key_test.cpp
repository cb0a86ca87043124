// Hardened archives: the salted, memory-hard key behind the cipher's face, and what the reader
// does with archives whose clear key block someone without the password has changed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/archive/archive_format.h"
#include "common/archive/job_records.h"
#include "common/crypto/argon2id.h"
#include "common/crypto/password_cipher.h"
#include "tests/support/file_tree.h"
#include "tests/support/hex.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// A cost small enough for many derivations in a sanitized build.
constexpr Argon2Cost kQuickCost{64, 1, 2};

KeyRecipe quickRecipe(uint8_t saltByte) {
    KeyRecipe recipe;
    recipe.kind = KeyKind::kHardened;
    recipe.cost = kQuickCost;
    for (uint32_t i = 0; i < kKeySaltBytes; ++i)
        recipe.salt[i] = static_cast<uint8_t>(saltByte + i);
    return recipe;
}

std::string keyOf(const PasswordCipher& c) {
    return toHex(reinterpret_cast<const uint8_t*>(c.working->encryptKeys), 32);
}

std::string ivOf(const PasswordCipher& c) {
    return toHex(c.working->chain, 16);
}

TEST(HardenedKey, KeyIvAndIntegrityKeyAreOneArgon2idOutputOverTheUtf8) {
    // What was typed, as UTF-8 bytes written out by hand: the code page plays no part.
    const char16_t* typed = u"Gr\u00fc\u00dfe \u20ac5 \U0001F600";
    const uint8_t utf8[] = {'G',  'r',  0xC3, 0xBC, 0xC3, 0x9F, 'e',  ' ', 0xE2,
                            0x82, 0xAC, '5',  ' ',  0xF0, 0x9F, 0x98, 0x80};
    const KeyRecipe recipe = quickRecipe(7);
    uint8_t expected[kHardenedOutputBytes];
    Argon2Inputs in;
    in.password = utf8;
    in.passwordLength = sizeof utf8;
    in.salt = recipe.salt;
    in.saltLength = kKeySaltBytes;
    ASSERT_EQ(argon2id(in, recipe.cost, expected, sizeof expected), kArgon2Ok);

    PasswordCipher c;
    ASSERT_TRUE(c.setHardenedPassword(typed, recipe));
    EXPECT_EQ(c.kind(), KeyKind::kHardened);
    EXPECT_EQ(keyOf(c), toHex(expected, 32));
    EXPECT_EQ(ivOf(c), toHex(expected + 32, 16));
    EXPECT_EQ(toHex(c.integrityKey(), 64), toHex(expected + 48, 64));

    // The classic key of the same text is another key altogether.
    PasswordCipher classic;
    ASSERT_TRUE(classic.setPassword(typed));
    EXPECT_EQ(classic.kind(), KeyKind::kClassic);
    EXPECT_NE(keyOf(classic), keyOf(c));
}

TEST(HardenedKey, SaltCostAndPasswordEachChangeTheKey) {
    PasswordCipher base, salt, cost, password;
    KeyRecipe other = quickRecipe(1);
    ASSERT_TRUE(base.setHardenedPassword(u"pw", quickRecipe(1)));
    other.salt[15] ^= 1;
    ASSERT_TRUE(salt.setHardenedPassword(u"pw", other));
    other = quickRecipe(1);
    other.cost.passes = 2;
    ASSERT_TRUE(cost.setHardenedPassword(u"pw", other));
    ASSERT_TRUE(password.setHardenedPassword(u"pW", quickRecipe(1)));
    EXPECT_NE(keyOf(base), keyOf(salt));
    EXPECT_NE(keyOf(base), keyOf(cost));
    EXPECT_NE(keyOf(base), keyOf(password));
}

TEST(HardenedKey, RefusesEmptyPasswordsAndCostsOutOfBoundsWithoutDeriving) {
    PasswordCipher c;
    EXPECT_FALSE(c.setHardenedPassword(u"", quickRecipe(1)));
    EXPECT_FALSE(c.hasKey());
    KeyRecipe huge = quickRecipe(1);
    huge.cost.memoryKiB = kArgon2MaxMemoryKiB * 4;  // 4 GiB: refused before any allocation
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(c.setHardenedPassword(u"pw", huge));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_FALSE(c.hasKey());
    EXPECT_EQ(c.kind(), KeyKind::kNone);
}

TEST(HardenedKey, AHeldPasswordIsDerivedForWhateverRecipeTheArchiveGives) {
    PasswordCipher held, direct;
    ASSERT_TRUE(held.holdPassword(u"secret"));
    EXPECT_FALSE(held.hasKey());
    ASSERT_TRUE(held.keyFor(quickRecipe(3)));
    ASSERT_TRUE(direct.setHardenedPassword(u"secret", quickRecipe(3)));
    EXPECT_EQ(keyOf(held), keyOf(direct));
    // The same password, now for a classic archive.
    ASSERT_TRUE(held.keyFor(KeyRecipe{}));
    ASSERT_TRUE(direct.setPassword(u"secret"));
    EXPECT_EQ(keyOf(held), keyOf(direct));
    // Without a held password the key opens only what it was made for.
    EXPECT_FALSE(direct.keyFor(quickRecipe(3)));
    EXPECT_TRUE(direct.keyFor(KeyRecipe{}));
}

TEST(KeyBlock, RoundTripsAndRefusesWhatNoReaderShouldDerive) {
    const KeyRecipe recipe = quickRecipe(9);
    uint8_t block[kKeyBlockBytes];
    encodeKeyBlock(recipe, block);
    KeyRecipe read;
    ASSERT_EQ(decodeKeyBlock(block, read), KeyBlockRead::kHardened);
    EXPECT_TRUE(read.sameAs(recipe));

    uint8_t bad[kKeyBlockBytes];
    std::memcpy(bad, block, sizeof bad);
    bad[0] ^= 0x20;
    EXPECT_EQ(decodeKeyBlock(bad, read), KeyBlockRead::kAbsent) << "no marker: classic";
    struct Change {
        uint32_t at;
        uint8_t value;
    };
    const Change changes[] = {
        {8, 2},      // another derivation
        {9, 0},      // no lanes
        {9, 17},     // more lanes than allowed
        {10, 0},     // no passes
        {11, 1},     // 257 passes
        {15, 0x40},  // memory beyond 1 GiB
        {12, 1},     // memory under 8 KiB per lane (1 KiB, two lanes)
    };
    for (const Change& change : changes) {
        std::memcpy(bad, block, sizeof bad);
        if (change.at == 12) {
            std::memset(bad + 12, 0, 4);
        }
        bad[change.at] = change.value;
        EXPECT_EQ(decodeKeyBlock(bad, read), KeyBlockRead::kBad) << "byte " << change.at;
    }
}

// Whole archives through the writer and the reader, with the key block at the end changed as
// someone who knows the format but not the password would.
struct HardenedJob {
    TempFolder dir;
    std::u16string archive = dir.path() + u"\\archive.tvf";
    std::map<std::string, std::string> files{{"a.txt", std::string(70000, 'a')},
                                             {"b.bin", file_tree::pattern(5000, 3)}};

    WriteResult write(const char16_t* password, const KeyRecipe* recipe,
                      const std::u16string& to = u"") {
        for (const auto& [name, content] : files)
            file_tree::put(file_tree::below(dir.native() / "src", name), content);
        ArchiveWriter w;
        const std::u16string list = std::u16string(u"a.txt") + u'\0' + u"b.bin" + u'\0' + u'\0';
        const std::u16string out = to.empty() ? archive : to;
        w.configure(nullptr, (dir.path() + u"\\src").c_str(), out.c_str(), list.data(),
                    static_cast<uint32_t>(list.size()), 2);
        const bool keyed = recipe == nullptr ? w.setHardenedPassword(password)
                                             : w.cipher.setHardenedPassword(password, *recipe);
        EXPECT_TRUE(keyed);
        w.run();
        return w.writeResult;
    }

    ExtractResult read(const char16_t* password, IntegrityState* integrity = nullptr) {
        fs::remove_all(dir.native() / "out");
        ArchiveReader r;
        r.configure(nullptr, (dir.path() + u"\\out").c_str(), archive.c_str());
        if (password != nullptr) {
            EXPECT_TRUE(r.setPassword(password));
        }
        r.run();
        if (integrity != nullptr) *integrity = r.integrity;
        return r.result;
    }

    std::string bytes() const { return file_tree::get(file_tree::native(archive)); }
    void put(const std::string& image) const { file_tree::put(file_tree::native(archive), image); }
    bool extracted() const { return fs::exists(dir.native() / "out"); }
};

TEST(HardenedArchive, RoundTripsVerifiedUnderTheDefaultCost) {
    HardenedJob job;
    ASSERT_EQ(job.write(u"pass\u00e9 \u4e2d", nullptr), kWriteOk);
    const std::string image = job.bytes();
    KeyRecipe recipe;
    ASSERT_EQ(
        decodeKeyBlock(reinterpret_cast<const uint8_t*>(image.data()) + image.size() - 32, recipe),
        KeyBlockRead::kHardened);
    EXPECT_EQ(recipe.cost.memoryKiB, 65536u);
    EXPECT_EQ(recipe.cost.passes, 3u);
    EXPECT_EQ(recipe.cost.lanes, 4u);
    IntegrityState integrity = kIntegrityAbsent;
    ASSERT_EQ(job.read(u"pass\u00e9 \u4e2d", &integrity), kExtractOk);
    EXPECT_EQ(integrity, kIntegrityVerified);
    EXPECT_EQ(file_tree::read(job.dir.native() / "out"), job.files);
    EXPECT_EQ(job.read(u"pass\u00e9 \u4e2e"), kWrongPassword);
    EXPECT_FALSE(job.extracted());
}

TEST(HardenedArchive, ChangedSaltCostOrMarkerReadAsWrongPasswordOrCorrupt) {
    HardenedJob job;
    const KeyRecipe recipe = quickRecipe(5);
    ASSERT_EQ(job.write(u"pw", &recipe), kWriteOk);
    ASSERT_EQ(job.read(u"pw"), kExtractOk);
    const std::string image = job.bytes();
    const std::size_t block = image.size() - 32;
    struct Case {
        const char* what;
        std::size_t at;
        uint8_t flip;
        ExtractResult expected;
    };
    const Case cases[] = {
        {"marker", block + 3, 0x01, kWrongPassword},  // read as classic: no key opens it
        {"derivation", block + 8, 0x02, kCorrupt},
        {"lanes in bounds", block + 9, 0x01, kWrongPassword},
        {"lanes beyond bound", block + 9, 0x40, kCorrupt},
        {"passes in bounds", block + 10, 0x02, kWrongPassword},
        {"passes beyond bound", block + 11, 0x80, kCorrupt},
        {"memory in bounds", block + 12, 0x80, kWrongPassword},
        {"memory beyond bound", block + 15, 0x80, kCorrupt},  // 2 GiB and more: never allocated
        {"salt first", block + 16, 0x01, kWrongPassword},
        {"salt last", block + 31, 0x80, kWrongPassword},
        {"trailer", block - 1, 0x01, kWrongPassword},
    };
    for (const Case& c : cases) {
        std::string changed = image;
        changed[c.at] = static_cast<char>(changed[c.at] ^ c.flip);
        job.put(changed);
        EXPECT_EQ(job.read(u"pw"), c.expected) << c.what;
        EXPECT_FALSE(job.extracted()) << c.what;
    }
    // The key block cut off: the hardened trailer read as a classic one.
    job.put(image.substr(0, block));
    EXPECT_EQ(job.read(u"pw"), kWrongPassword);
    // The key block swapped for that of another archive under the same password.
    HardenedJob other;
    const KeyRecipe otherRecipe = quickRecipe(6);
    ASSERT_EQ(other.write(u"pw", &otherRecipe), kWriteOk);
    const std::string theirs = other.bytes();
    job.put(image.substr(0, block) + theirs.substr(theirs.size() - 32));
    EXPECT_EQ(job.read(u"pw"), kWrongPassword);
    EXPECT_FALSE(job.extracted());
}

TEST(HardenedArchive, ReadersWithoutTheHeldPasswordRefuseIt) {
    HardenedJob job;
    const KeyRecipe recipe = quickRecipe(5);
    ASSERT_EQ(job.write(u"pw", &recipe), kWriteOk);
    // No password at all.
    EXPECT_EQ(job.read(nullptr), kWrongPassword);
    // A caller that keyed a classic cipher itself.
    File image;
    ASSERT_TRUE(image.open(job.archive.c_str(), FileOpen::kReadShared));
    PasswordCipher classic;
    ASSERT_TRUE(classic.setPassword(u"pw"));
    ArchiveTrailer trailer;
    ByteBuf scratch;
    FileTable table;
    PayloadLocation where;
    EXPECT_EQ(locatePayload(image, classic, trailer, scratch, table, where), kWrongPassword);
    EXPECT_EQ(table.count(), 0u);
}

TEST(HardenedArchive, TwoArchivesOfTheSameFilesAndPasswordShareNoCipherBlock) {
    HardenedJob first, second;
    ASSERT_EQ(first.write(u"same password", nullptr), kWriteOk);
    ASSERT_EQ(second.write(u"same password", nullptr), kWriteOk);
    const std::string a = first.bytes(), b = second.bytes();
    ASSERT_EQ(a.size(), b.size());
    // The data stream runs from 0 (a .tvf has no stub) up to the info block; the files' sizes
    // give its length, padded to whole blocks.
    const std::size_t data = (70000 + 5000 + 15) / 16 * 16;
    std::map<std::string, int> blocks;
    for (std::size_t at = 0; at < data; at += 16) blocks[a.substr(at, 16)] |= 1;
    for (std::size_t at = 0; at < data; at += 16) blocks[b.substr(at, 16)] |= 2;
    int shared = 0;
    for (const auto& [block, seen] : blocks) shared += seen == 3 ? 1 : 0;
    EXPECT_EQ(shared, 0);
    // The trailers too differ, though the sizes are the same.
    EXPECT_NE(a.substr(a.size() - 64, 32), b.substr(b.size() - 64, 32));
}

}  // namespace
