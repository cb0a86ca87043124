// Windows program images made in memory for the tests of signed archives: the smallest DOS
// and PE headers a signing tool accepts the look of, with the security directory wherever a
// test wants it, and signing as the tools do it (zero padding to 8 bytes, a certificate table
// appended and named in the directory). Nothing here is a runnable program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pe {

constexpr uint32_t kDosSize = 64;
constexpr uint32_t kLfanewField = 0x3C;

struct Headers {
    bool plus = false;             // PE32+ (64-bit form) rather than PE32
    uint32_t peOffset = 0x80;      // e_lfanew
    uint32_t directoryCount = 16;  // NumberOfRvaAndSizes
    uint16_t optionalSize = 0;     // 0: the usual size for the form, with 16 directories

    uint16_t usualOptionalSize() const { return plus ? 240 : 224; }
    uint16_t optional() const { return optionalSize != 0 ? optionalSize : usualOptionalSize(); }
    // NumberOfRvaAndSizes, from the start of the optional header.
    uint32_t countField() const { return plus ? 108 : 92; }
    // Where the security directory entry (offset, size) lies in the file.
    uint32_t securityEntry() const { return peOffset + 24 + countField() + 4 + 8 * 4; }
    // The end of the headers: nothing of a certificate table may start before it.
    uint32_t end() const { return peOffset + 24 + optional(); }
};

inline void put16(std::vector<uint8_t>& b, uint64_t at, uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2, 0);
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void put32(std::vector<uint8_t>& b, uint64_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// The headers alone, `h.end()` bytes (at least the DOS header), security directory empty.
inline std::vector<uint8_t> headers(const Headers& h) {
    std::vector<uint8_t> b(h.end() > kDosSize ? h.end() : kDosSize, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, kLfanewField, h.peOffset);
    if (b.size() < uint64_t{h.peOffset} + 24) return b;
    b[h.peOffset] = 'P';
    b[h.peOffset + 1] = 'E';
    put16(b, h.peOffset + 4, h.plus ? 0x8664 : 0x14C);  // machine
    put16(b, h.peOffset + 20, h.optional());
    const uint32_t optional = h.peOffset + 24;
    put16(b, optional, h.plus ? 0x20B : 0x10B);
    put32(b, optional + h.countField(), h.directoryCount);
    b.resize(h.end(), 0);
    return b;
}

inline std::string asText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

inline void setSecurityDirectory(std::vector<uint8_t>& image, const Headers& h, uint32_t offset,
                                 uint32_t size) {
    put32(image, h.securityEntry(), offset);
    put32(image, h.securityEntry() + 4, size);
}

// One WIN_CERTIFICATE entry: its header, then filler up to `length`, then zeros to a multiple
// of 8 (as the tools lay out each entry). The filler's last byte is `last`.
inline std::vector<uint8_t> certificate(uint32_t length, uint16_t revision = 0x0200,
                                        uint16_t type = 2, uint8_t last = 0x5A) {
    std::vector<uint8_t> c;
    put32(c, 0, length);
    put16(c, 4, revision);
    put16(c, 6, type);
    for (uint32_t i = 8; i < length; ++i) c.push_back(static_cast<uint8_t>(0x30 + i % 40));
    if (length > 8) c.back() = last;
    c.resize((c.size() + 7) / 8 * 8, 0);
    return c;
}

// Signs as the tools do: zero padding to a multiple of 8, the table appended, the directory
// pointed at it. Returns the padding added.
inline uint32_t sign(std::vector<uint8_t>& image, const Headers& h,
                     const std::vector<uint8_t>& table = certificate(1500)) {
    const uint32_t padding = static_cast<uint32_t>((8 - image.size() % 8) % 8);
    image.resize(image.size() + padding, 0);
    setSecurityDirectory(image, h, static_cast<uint32_t>(image.size()),
                         static_cast<uint32_t>(table.size()));
    image.insert(image.end(), table.begin(), table.end());
    return padding;
}

}  // namespace pe
