// What key derivation leaves on the stack. The digest's working values for a short password are
// the key and the IV in all but name (they differ from them by the known initial hash value), and
// the compiler spills them into the frames below the derivation; the cipher path wipes its stack,
// and the derivation must too. The test fills the stack below a wrapper with a pattern, derives
// a key through the wrapper, and then searches the stretch below the wrapper's frame for any
// piece of the key, the IV or those working values.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/crypto/password_cipher.h"
#include "common/crypto/sha512.h"

namespace {

// The stretch searched below the wrapper's frame, and the stretch filled before, a little more.
constexpr std::size_t kScanBytes = 4096;
constexpr std::size_t kPrimeBytes = kScanBytes + 1024;

// The SHA-512 initial hash value: a digest word minus it is the working value left by the last
// round of a one-block message.
constexpr uint64_t kInitial[8] = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179,
};

// Four-byte pieces to look for: a 32-bit machine spills a 64-bit word as two halves, apart.
struct Needles {
    std::vector<uint32_t> pieces;
    std::vector<std::string> names;

    void add(const uint8_t* bytes, const std::string& name) {
        uint32_t piece;
        std::memcpy(&piece, bytes, 4);
        pieces.push_back(piece);
        names.push_back(name);
    }
    void addWord(uint64_t word, const std::string& name) {
        uint8_t bytes[8];
        std::memcpy(bytes, &word, 8);  // as the machine stores it
        add(bytes, name + " low half");
        add(bytes + 4, name + " high half");
    }
};

// Key and IV are the digest's first 48 bytes, words 0 to 5.
Needles secretsOf(const std::string& password) {
    Sha512Context sha;
    sha512Init(sha);
    sha512Update(sha, reinterpret_cast<const uint8_t*>(password.data()), password.size());
    uint8_t digest[64];
    sha512Final(sha, digest);
    Needles needles;
    for (int i = 0; i < 6; ++i) {
        uint64_t word = 0;
        for (int j = 0; j < 8; ++j) word = word << 8 | digest[8 * i + j];
        const std::string n = std::to_string(i);
        needles.add(digest + 8 * i, "digest bytes " + std::to_string(8 * i));
        needles.add(digest + 8 * i + 4, "digest bytes " + std::to_string(8 * i + 4));
        needles.addWord(word, "chaining value H" + n);
        needles.addWord(word - kInitial[i], "working value " + std::string(1, char('a' + i)));
    }
    std::memset(digest, 0, sizeof digest);
    return needles;
}

// Not instrumented: a sanitizer may move an instrumented function's arrays off the stack.
[[gnu::noinline, gnu::no_sanitize_address]] void primeStack() {
    uint8_t area[kPrimeBytes];
    std::memset(area, 0xA5, sizeof area);
    asm volatile("" : : "r"(area) : "memory");  // the filling is kept
}

// Copies the stretch below its own frame, where the derivation's callees had theirs, into
// `out` (kScanBytes). It knows nothing of what is sought, so no needle lands in its own frame,
// and calls nothing, so no frame of its own making covers the stretch first. Reading there is
// reading outside any variable: no sanitizer may object.
[[gnu::noinline, gnu::no_sanitize_address]] void copyBelow(uint8_t* out) {
    const auto* top = static_cast<const volatile uint8_t*>(__builtin_frame_address(0));
    for (std::size_t i = 0; i < kScanBytes; ++i)
        out[i] = top[i - static_cast<std::ptrdiff_t>(kScanBytes)];
}

// Where in a copy each needle lies, as "name at -offset" from the copy's top; empty when none.
std::vector<std::string> search(const std::vector<uint8_t>& below, const Needles& needles) {
    std::vector<std::string> found;
    for (std::size_t at = 0; at + 4 <= below.size(); ++at) {
        uint32_t piece;
        std::memcpy(&piece, below.data() + at, 4);
        for (std::size_t n = 0; n < needles.pieces.size(); ++n) {
            if (piece == needles.pieces[n]) {
                found.push_back(needles.names[n] + " at -" + std::to_string(below.size() - at));
            }
        }
    }
    return found;
}

[[gnu::noinline]] std::vector<std::string> deriveThenSearch(const char16_t* password,
                                                            const Needles& needles) {
    std::vector<uint8_t> below(kScanBytes);
    PasswordCipher cipher;
    primeStack();
    if (!cipher.setPassword(password)) return {"no key derived"};
    copyBelow(below.data());
    return search(below, needles);
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += item + "\n";
    return out;
}

TEST(KeyDerivation, LeavesNoPieceOfKeyOrIvOnTheStack) {
    // A short password (one digest block, the case where the last working values are the key),
    // a longer one of two blocks, and one of the most a password dialog hands over.
    const std::string passwords[] = {"s3cret", std::string(150, 'k'), std::string(63, 'z')};
    for (const std::string& password : passwords) {
        const Needles needles = secretsOf(password);
        const std::u16string wide(password.begin(), password.end());
        const std::vector<std::string> found = deriveThenSearch(wide.c_str(), needles);
        EXPECT_TRUE(found.empty()) << password.size() << "-byte password:\n" << joined(found);
    }
}

// The search itself finds what lies there: a copy of a key piece left below the wrapper.
[[gnu::noinline, gnu::no_sanitize_address]] void leavePiece(uint32_t piece) {
    uint32_t area[64];
    for (uint32_t& word : area) word = piece;
    asm volatile("" : : "r"(area) : "memory");
}

[[gnu::noinline]] std::vector<std::string> leaveThenSearch(const Needles& needles) {
    std::vector<uint8_t> below(kScanBytes);
    primeStack();
    leavePiece(needles.pieces[0]);
    copyBelow(below.data());
    return search(below, needles);
}

TEST(KeyDerivation, TheSearchFindsAPieceLeftBehind) {
    const Needles needles = secretsOf("s3cret");
    EXPECT_FALSE(leaveThenSearch(needles).empty());
}

}  // namespace
