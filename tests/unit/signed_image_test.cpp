// Finding where the payload ends in front of a code signature: synthetic program images signed
// the way the tools sign, every hostile security directory read as unsigned without a byte read
// outside the file, and real archives signed with osslsigncode (when the fixture generator has
// made them) found again under their password.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/archive/archive_format.h"
#include "common/archive/signed_image.h"
#include "common/support/utf8.h"
#include "tests/support/archive_builder.h"
#include "tests/support/pe_image.h"
#include "tests/support/temp_folder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The image as the parser sees it: `limit` bytes (the size it is told), every read checked.
struct Memory {
    const Bytes& bytes;
    uint64_t limit;
    bool strayed = false;
    int readsLeft = 1000;  // reads after this many fail
};

bool readMemory(void* source, uint64_t offset, uint8_t* out, uint32_t n) {
    Memory& m = *static_cast<Memory*>(source);
    if (offset > m.limit || n > m.limit - offset || m.limit > m.bytes.size()) {
        m.strayed = true;
        return false;
    }
    if (m.readsLeft-- <= 0) return false;
    std::memcpy(out, m.bytes.data() + offset, n);
    return true;
}

PayloadEnd find(const Bytes& image, uint64_t limit, bool* strayed = nullptr) {
    Memory m{image, limit};
    const PayloadEnd found = findPayloadEnd(readMemory, &m, limit);
    if (strayed != nullptr) *strayed = m.strayed;
    return found;
}

PayloadEnd find(const Bytes& image) {
    bool strayed = false;
    const PayloadEnd found = find(image, image.size(), &strayed);
    EXPECT_FALSE(strayed) << "read outside the image";
    return found;
}

void expectUnsigned(const PayloadEnd& found, uint64_t size) {
    EXPECT_FALSE(found.certificateTable);
    EXPECT_EQ(found.end, size);
    EXPECT_EQ(found.zeroBytes, 0u);
}

// A stand-in payload of `n` bytes whose last byte is not zero.
Bytes payload(uint32_t n) {
    Bytes p(n);
    for (uint32_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(1 + i % 251);
    return p;
}

Bytes signedImage(const pe::Headers& h, uint32_t payloadBytes, uint32_t* padding = nullptr) {
    Bytes image = pe::headers(h);
    const Bytes p = payload(payloadBytes);
    image.insert(image.end(), p.begin(), p.end());
    const uint32_t added = pe::sign(image, h);
    if (padding != nullptr) *padding = added;
    return image;
}

TEST(SignedImage, ImagesWithoutASignatureEndAtTheirSize) {
    expectUnsigned(find(Bytes{}), 0);
    expectUnsigned(find(Bytes{'M', 'Z'}), 2);
    Bytes shortDos(63, 0);
    shortDos[0] = 'M', shortDos[1] = 'Z';
    expectUnsigned(find(shortDos), 63);

    const std::vector<StoredFile> files = {{u"a.txt", "some text"}};
    const Bytes tvf = buildImage(files, u"pw", "");
    expectUnsigned(find(tvf), tvf.size());
    // A program in front whose security directory is empty, as every unsigned extractor.
    const pe::Headers h;
    const Bytes exe = buildImage(files, u"pw", pe::asText(pe::headers(h)));
    expectUnsigned(find(exe), exe.size());
}

TEST(SignedImage, SignedImageEndsWhereItsTableBeginsLessThePadding) {
    for (const bool plus : {false, true}) {
        for (uint32_t extra = 0; extra < 8; ++extra) {
            pe::Headers h;
            h.plus = plus;
            uint32_t padding = 0;
            const Bytes image = signedImage(h, 200 + extra, &padding);
            const PayloadEnd found = find(image);
            SCOPED_TRACE(testing::Message() << (plus ? "PE32+" : "PE32") << " padding " << padding);
            EXPECT_TRUE(found.certificateTable);
            EXPECT_EQ(found.end, uint64_t{h.end()} + 200 + extra + padding);
            EXPECT_EQ(found.zeroBytes, padding);
            EXPECT_EQ(found.end - found.zeroBytes, uint64_t{h.end()} + 200 + extra);
        }
    }
}

TEST(SignedImage, ZerosEndingThePayloadCountAsPossiblePaddingUpToSeven) {
    const pe::Headers h;
    Bytes image = pe::headers(h);
    const Bytes p = payload(101);
    image.insert(image.end(), p.begin(), p.end());
    image.push_back(0);
    image.push_back(0);  // the trailer's own last bytes may be zero
    const uint32_t padding = pe::sign(image, h);
    PayloadEnd found = find(image);
    EXPECT_EQ(found.zeroBytes, padding + 2);

    image = pe::headers(h);
    image.resize(image.size() + 100, 0);
    image.push_back(9);
    image.resize(image.size() + 20, 0);
    pe::sign(image, h);
    found = find(image);
    EXPECT_TRUE(found.certificateTable);
    EXPECT_EQ(found.zeroBytes, kMaxSigningPadding);

    // Zeros are never counted back into the headers, however many there are.
    pe::Headers odd;
    odd.optionalSize = 226;  // headers end 2 bytes past a multiple of 8
    image = pe::headers(odd);
    pe::sign(image, odd);
    found = find(image);
    EXPECT_TRUE(found.certificateTable);
    EXPECT_EQ(found.end, uint64_t{odd.end()} + 6);
    EXPECT_EQ(found.zeroBytes, 6u);
}

// A certificate entry header that passes every check of its own at `at`.
void entryAt(Bytes& image, uint32_t at, uint32_t length) {
    pe::put32(image, at, length);
    pe::put16(image, at + 4, 0x0200);
    pe::put16(image, at + 6, 2);
}

struct Hostile {
    const char* what;
    std::function<void(Bytes&)> damage;
};

// Each case breaks one rule of an otherwise well-signed image, in both forms of the header.
TEST(SignedImage, HostileHeadersAndDirectoriesReadAsUnsigned) {
    for (const bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        pe::Headers h;
        h.plus = plus;
        const uint32_t optional = h.peOffset + 24;
        const uint32_t n = static_cast<uint32_t>(signedImage(h, 300).size());
        const uint32_t table = n - static_cast<uint32_t>(pe::certificate(1500).size());
        auto directory = [&](uint32_t offset, uint32_t size) {
            return [=](Bytes& b) { pe::setSecurityDirectory(b, h, offset, size); };
        };
        const std::vector<Hostile> cases = {
            {"no MZ", [](Bytes& b) { b[0] = 'Z'; }},
            {"e_lfanew past the end", [](Bytes& b) { pe::put32(b, 0x3C, 0xFFFFFFFC); }},
            {"e_lfanew with no room for the PE header",
             [](Bytes& b) { pe::put32(b, 0x3C, static_cast<uint32_t>(b.size() - 20) & ~3u); }},
            {"no PE signature", [&](Bytes& b) { b[h.peOffset + 2] = 'X'; }},
            {"unknown optional header", [&](Bytes& b) { pe::put16(b, optional, 0x107); }},
            {"four directories only",
             [&](Bytes& b) { pe::put32(b, optional + h.countField(), 4); }},
            {"optional header too short for the entry",
             [&](Bytes& b) { pe::put16(b, h.peOffset + 20, h.securityEntry() - optional + 4); }},
            {"directory empty", directory(0, 0)},
            {"size zero", directory(table, 0)},
            {"table ends before the file does",
             [&](Bytes& b) {
                 entryAt(b, table, 1496);
                 pe::setSecurityDirectory(b, h, table, 1496);
             }},
            {"table runs past the end", directory(table, 1512)},
            {"offset past the end", directory(n + 8, 0xFFFFFFF0u)},
            {"offset and size wrap in 32 bits", directory(0xFFFFFFF8u, n + 8)},
            {"offset not 8-aligned",
             [&](Bytes& b) {
                 entryAt(b, table + 4, 1500);
                 pe::setSecurityDirectory(b, h, table + 4, 1500);
             }},
            {"table over the headers",
             [&](Bytes& b) {
                 entryAt(b, h.end() - 16, 8);
                 pe::setSecurityDirectory(b, h, h.end() - 16, n - (h.end() - 16));
             }},
            {"table at the first byte", directory(0, n)},
            {"table smaller than an entry header",
             [&](Bytes& b) {
                 b.resize(n + 4, 0);
                 pe::setSecurityDirectory(b, h, n, 4);
             }},
            {"entry length below its header", [&](Bytes& b) { pe::put32(b, table, 4); }},
            {"entry length past the table", [&](Bytes& b) { pe::put32(b, table, 1505); }},
            {"absurd entry length", [&](Bytes& b) { pe::put32(b, table, 0xFFFFFFFF); }},
            {"unknown revision", [&](Bytes& b) { pe::put16(b, table + 4, 0x0300); }},
            {"certificate type 0", [&](Bytes& b) { pe::put16(b, table + 6, 0); }},
            {"certificate type 5", [&](Bytes& b) { pe::put16(b, table + 6, 5); }},
        };
        for (const Hostile& c : cases) {
            SCOPED_TRACE(c.what);
            Bytes image = signedImage(h, 300);
            ASSERT_TRUE(find(image).certificateTable) << "the undamaged image is signed";
            c.damage(image);
            expectUnsigned(find(image), image.size());
        }
        // A PE header where no loader looks for one: not 4-aligned, or inside the DOS header.
        // The same images with the header at the next good offset are signed.
        for (const auto& [bad, good] : {std::pair{0x82u, 0x84u}, std::pair{0x20u, 0x40u}}) {
            pe::Headers at = h;
            at.peOffset = good;
            EXPECT_TRUE(find(signedImage(at, 300)).certificateTable) << good;
            at.peOffset = bad;
            const Bytes image = signedImage(at, 300);
            expectUnsigned(find(image), image.size());
        }
        // The headers cut off by the end of the file, inside the security entry.
        Bytes cut = pe::headers(h);
        cut.resize(h.securityEntry() + 4);
        expectUnsigned(find(cut), cut.size());
    }
}

TEST(SignedImage, NoTruncationOrDamagedByteLeadsOutsideTheFile) {
    for (const bool plus : {false, true}) {
        pe::Headers h;
        h.plus = plus;
        const Bytes image = signedImage(h, 77);
        const uint32_t table = static_cast<uint32_t>(image.size() - pe::certificate(1500).size());
        // Every shorter view of the same bytes: the directory no longer ends the file.
        for (uint64_t size = 0; size < image.size(); ++size) {
            bool strayed = false;
            const PayloadEnd found = find(image, size, &strayed);
            ASSERT_FALSE(strayed) << "size " << size;
            ASSERT_FALSE(found.certificateTable) << "size " << size;
            ASSERT_EQ(found.end, size);
        }
        // Every byte of the headers and of the entry header, flipped: whatever the verdict,
        // a table found lies after the headers, ends the file and leaves room for its entry.
        for (uint32_t at = 0; at < table + 8; at = at + 1 == h.end() ? table : at + 1) {
            for (const uint8_t flip : {0x01, 0x80, 0xFF}) {
                Bytes damaged = image;
                damaged[at] ^= flip;
                const PayloadEnd found = find(damaged);
                if (!found.certificateTable) {
                    ASSERT_EQ(found.end, damaged.size());
                    continue;
                }
                ASSERT_EQ(found.end % 8, 0u) << "byte " << at;
                ASSERT_LE(found.end + 8, damaged.size()) << "byte " << at;
                ASSERT_GE(found.end - found.zeroBytes, 64u) << "byte " << at;
                ASSERT_LE(found.zeroBytes, kMaxSigningPadding);
            }
        }
    }
}

TEST(SignedImage, AReadThatFailsMeansUnsigned) {
    const Bytes image = signedImage(pe::Headers{}, 45);
    for (int reads = 0; reads < 4; ++reads) {
        Memory m{image, image.size()};
        m.readsLeft = reads;
        const PayloadEnd found = findPayloadEnd(readMemory, &m, image.size());
        EXPECT_FALSE(m.strayed);
        expectUnsigned(found, image.size());
    }
}

// The ends a reader tries, latest first: the first whose trailer checks out, or 0 with the
// verdict of the last try in `why`.
uint64_t payloadEndOf(File& file, uint64_t size, PasswordCipher& cipher, ExtractResult& why) {
    const PayloadEnd found = findPayloadEnd(file, size);
    why = kWrongPassword;
    for (uint32_t back = 0; back <= found.zeroBytes; ++back) {
        const uint64_t end = found.end - back;
        ArchiveTrailer trailer;
        if (!readTrailer(file, end, cipher, trailer)) return 0;
        why = checkTrailer(trailer, end);
        if (why == kExtractOk) return end;
    }
    return 0;
}

class OnDisk {
  public:
    explicit OnDisk(const Bytes& image) {
        path_ = dir_.path() + u"\\image.exe";
        File out;
        out.create(path_.c_str(), FileCreate::kExclusive);
        out.write(image.data(), static_cast<uint32_t>(image.size()));
        out.close();
        file.open(path_.c_str(), FileOpen::kReadShared);
    }
    File file;

  private:
    TempFolder dir_;
    std::u16string path_;
};

TEST(SignedImage, ArchiveBehindAnOddStubIsFoundAtExactlyOneEnd) {
    const std::vector<StoredFile> files = {{u"a.txt", "0123456789"}, {u"dir\\b.bin", "xyz"}};
    for (const char16_t* password : {u"pw", static_cast<const char16_t*>(nullptr)}) {
        for (uint32_t odd = 1; odd < 8; ++odd) {
            const pe::Headers h;
            Bytes stub = pe::headers(h);
            stub.resize(stub.size() + odd, 0x90);
            Bytes image = buildImage(files, password, pe::asText(stub));
            const uint64_t unsignedSize = image.size();
            const uint32_t padding = pe::sign(image, h);
            ASSERT_EQ(padding, 8 - odd);

            OnDisk disk(image);
            PasswordCipher cipher;
            ASSERT_EQ(cipher.setPassword(password), password != nullptr);
            ExtractResult why;
            ASSERT_EQ(payloadEndOf(disk.file, image.size(), cipher, why), unsignedSize)
                << "stub " << stub.size() << (password ? " keyed" : " without key");
            ArchiveTrailer trailer;
            ASSERT_TRUE(readTrailer(disk.file, unsignedSize, cipher, trailer));
            ByteBuf info;
            FileTable table;
            PayloadSeal seal;
            EXPECT_EQ(readInfoBlock(disk.file, trailer, locationOf(trailer, unsignedSize), cipher,
                                    info, table, seal),
                      kExtractOk);
            EXPECT_EQ(std::u16string(table.nameOf(1)), u"dir\\b.bin");

            // Under another key no end checks out, and the verdict stays "wrong password".
            PasswordCipher other;
            ASSERT_TRUE(other.setPassword(u"not it"));
            if (password != nullptr) {
                EXPECT_EQ(payloadEndOf(disk.file, image.size(), other, why), 0u);
                EXPECT_EQ(why, kWrongPassword);
            }
        }
    }
}

// Archives signed by osslsigncode, made by tests/tool/make-signed-fixtures.sh before this runs.
class RealSignature : public testing::Test {
  protected:
    void SetUp() override {
        const char* folder = std::getenv("QUILLON_SIGNED_FIXTURES");
        if (folder == nullptr || *folder == 0)
            GTEST_SKIP() << "QUILLON_SIGNED_FIXTURES is not set (ctest sets it)";
        folder_ = wideFromUtf8(folder);
    }

    std::u16string path(const char16_t* name) const { return folder_ + u"/" + name; }

    uint64_t sizeOf(const char16_t* name) {
        File f;
        if (!f.open(path(name).c_str(), FileOpen::kReadShared)) return 0;
        return static_cast<uint64_t>(f.size());
    }

    Bytes bytesOf(const char16_t* name) {
        File f;
        Bytes b;
        if (!f.open(path(name).c_str(), FileOpen::kReadShared)) return b;
        b.resize(static_cast<std::size_t>(f.size()));
        if (f.read(b.data(), static_cast<uint32_t>(b.size())) != static_cast<int64_t>(b.size()))
            b.clear();
        return b;
    }

    // The signed archive's payload ends where its unsigned original did (its key block
    // included, for a hardened one), and its payload bytes are the original's, byte for byte;
    // found by the reader itself, holding the password as the front ends do.
    void expectPayloadOf(const char16_t* signedName, const char16_t* unsignedName,
                         bool hardened) {
        File image;
        ASSERT_TRUE(image.open(path(signedName).c_str(), FileOpen::kReadShared));
        const uint64_t size = static_cast<uint64_t>(image.size());
        EXPECT_TRUE(findPayloadEnd(image, size).certificateTable);
        PasswordCipher cipher;
        ASSERT_TRUE(cipher.holdPassword(u"fixture pass"));
        ArchiveTrailer trailer;
        ByteBuf scratch;
        FileTable files;
        PayloadLocation where;
        ASSERT_EQ(locatePayload(image, cipher, trailer, scratch, files, where), kExtractOk);
        EXPECT_EQ(where.hardened, hardened);
        EXPECT_EQ(cipher.kind(), hardened ? KeyKind::kHardened : KeyKind::kClassic);
        const uint64_t end = where.imageSize + (where.hardened ? kKeyBlockBytes : 0);
        ASSERT_EQ(end, sizeOf(unsignedName));
        const Bytes a = bytesOf(signedName), b = bytesOf(unsignedName);
        ASSERT_EQ(b.size(), end);
        EXPECT_TRUE(std::equal(b.begin() + trailer.stubSize, b.end(), a.begin() + trailer.stubSize))
            << "the payload changed";
    }

    std::u16string folder_;
};

TEST_F(RealSignature, SignedArchivesAreFoundBehindTheirTable) {
    // The archive behind the extractor of even size has the classic key, the other a hardened
    // one, whose clear key block must be found before the zeros too.
    expectPayloadOf(u"signed.exe", u"unsigned.exe", false);
    // Behind an extractor of odd size the tool pads; the zero bytes are tried away.
    expectPayloadOf(u"signed-odd.exe", u"unsigned-odd.exe", true);
    const PayloadEnd odd = [&] {
        File f;
        f.open(path(u"signed-odd.exe").c_str(), FileOpen::kReadShared);
        return findPayloadEnd(f, static_cast<uint64_t>(f.size()));
    }();
    EXPECT_GE(odd.zeroBytes, (8 - sizeOf(u"unsigned-odd.exe") % 8) % 8);
    // Signed again (the table replaced), and signed after the signature was removed.
    expectPayloadOf(u"signed-twice.exe", u"unsigned.exe", false);
    expectPayloadOf(u"resigned-odd.exe", u"unsigned-odd.exe", true);
}

TEST_F(RealSignature, UnsignedArchivesAndRemovedSignaturesReadAsUnsigned) {
    for (const char16_t* name : {u"unsigned.exe", u"unsigned-odd.exe", u"removed-odd.exe"}) {
        File f;
        ASSERT_TRUE(f.open(path(name).c_str(), FileOpen::kReadShared));
        expectUnsigned(findPayloadEnd(f, static_cast<uint64_t>(f.size())),
                       static_cast<uint64_t>(f.size()));
    }
    // Removing a signature keeps the padding the signing added: that archive now ends in
    // zeros after its trailer.
    EXPECT_EQ(sizeOf(u"removed-odd.exe") % 8, 0u);
    EXPECT_GT(sizeOf(u"removed-odd.exe"), sizeOf(u"unsigned-odd.exe"));
}

}  // namespace
