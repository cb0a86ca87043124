#include "common/archive/archive_end.h"

#include <cstring>

#include "common/archive/archive_format.h"
#include "common/archive/signed_image.h"

namespace {

// The bytes before a possible end that a keyed archive fills with ciphertext: at least one
// info block's block and the trailer.
constexpr uint32_t kWindow = 48;
static_assert(kWindow <= kSmallestImage, "every candidate end has a whole window before it");
// Zero bytes in the window from which it is no ciphertext.
constexpr uint32_t kZerosOfStructure = 8;

bool isTextByte(uint8_t b) {
    return (b >= 0x20 && b < 0x7F) || (b >= 0x09 && b <= 0x0D) || b == 0x1B;
}

// All text: printable ASCII, white space, and whole UTF-8 characters (one cut by the window's
// start counts as whole).
bool isText(const uint8_t* bytes, uint32_t n) {
    uint32_t at = 0;
    while (at < n && at < 3 && (bytes[at] & 0xC0) == 0x80) ++at;
    while (at < n) {
        const uint8_t b = bytes[at];
        uint32_t follow = 0;
        if (b < 0x80) {
            if (!isTextByte(b)) return false;
        } else if (b >= 0xC2 && b <= 0xDF) {
            follow = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            follow = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            follow = 3;
        } else {
            return false;
        }
        if (at + follow >= n && follow > 0) return false;
        for (uint32_t k = 1; k <= follow; ++k)
            if ((bytes[at + k] & 0xC0) != 0x80) return false;
        at += 1 + follow;
    }
    return true;
}

uint32_t zerosIn(const uint8_t* bytes, uint32_t n) {
    uint32_t zeros = 0;
    for (uint32_t i = 0; i < n; ++i) zeros += bytes[i] == 0 ? 1 : 0;
    return zeros;
}

// A trailer in the clear: its reserved byte and check value zero, its paddings below 16, and
// byte 0, which announces the integrity record's version, a small number.
bool isKeylessTrailer(const uint8_t* t) {
    ArchiveTrailer trailer;
    std::memcpy(&trailer, t, kTrailerSize);
    return trailer.recordVersion < 16 && trailer.reserved3 == 0 && trailer.check == 0 &&
           trailer.dataPadding < 16 && trailer.infoPadding < 16;
}

}  // namespace

ArchiveEnd judgeArchiveEnd(File& image) {
    const int64_t size = image.size();
    if (size < 0) return ArchiveEnd::kPossible;
    if (static_cast<uint64_t>(size) <= kSmallestImage) return ArchiveEnd::kTooSmall;
    const PayloadEnd found = findPayloadEnd(image, static_cast<uint64_t>(size));
    ArchiveEnd verdict = ArchiveEnd::kPossible;
    for (uint32_t back = 0; back <= found.zeroBytes; ++back) {
        const uint64_t end = found.end - back;
        if (end <= kSmallestImage) break;
        uint8_t window[kWindow];
        if (!image.readAllAt(end - kWindow, window, kWindow)) return ArchiveEnd::kPossible;
        if (isKeylessTrailer(window + kWindow - kTrailerSize)) return ArchiveEnd::kPossible;
        // A hardened archive ends in its key block, which is in the clear.
        KeyRecipe recipe;
        if (decodeKeyBlock(window + kWindow - kKeyBlockBytes, recipe) != KeyBlockRead::kAbsent) {
            return ArchiveEnd::kPossible;
        }
        const bool text = isText(window, kWindow);
        if (!text && zerosIn(window, kWindow) < kZerosOfStructure) return ArchiveEnd::kPossible;
        // The verdict is the one of the file's own end, the first tried.
        if (back == 0) verdict = text ? ArchiveEnd::kText : ArchiveEnd::kOther;
    }
    return verdict;
}
