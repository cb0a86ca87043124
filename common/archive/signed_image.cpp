#include "common/archive/signed_image.h"

namespace {

constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kNewHeaderField = 0x3C;  // e_lfanew: where the PE header starts
constexpr uint32_t kPeSignatureAndFileHeader = 24;
constexpr uint32_t kOptionalHeaderSizeField = 20;  // from the PE signature
constexpr uint16_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;
constexpr uint32_t kSecurityEntry = 4;  // the certificate table's data directory
constexpr uint32_t kCertificateHeader = 8;
// Enough for the PE32+ form, whose directories start 16 bytes later than in PE32.
constexpr uint32_t kLongestHeaderRead = kPeSignatureAndFileHeader + 112 + 8 * (kSecurityEntry + 1);

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t get32(const uint8_t* p) {
    return get16(p) | static_cast<uint32_t>(get16(p + 2)) << 16;
}

bool readFromFile(void* source, uint64_t offset, uint8_t* out, uint32_t bytes) {
    return static_cast<File*>(source)->readAllAt(offset, out, bytes);
}

// The certificate table an image's headers name, when they are sound: its offset, and where
// the headers end (nothing of the table may lie before that). False for anything else.
bool certificateTableOf(ImageReadAt readAt, void* source, uint64_t imageSize, uint64_t& offset,
                        uint64_t& headersEnd) {
    uint8_t dos[kDosHeaderSize];
    if (imageSize < kDosHeaderSize || !readAt(source, 0, dos, kDosHeaderSize)) return false;
    if (dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint64_t peOffset = get32(dos + kNewHeaderField);
    if (peOffset < kDosHeaderSize || peOffset % 4 != 0) return false;
    if (peOffset + kPeSignatureAndFileHeader + 2 > imageSize) return false;

    // As much of the headers as the file holds, up to the end of the PE32+ security entry.
    uint8_t pe[kLongestHeaderRead] = {};
    const uint64_t left = imageSize - peOffset;
    const uint32_t got =
        left < kLongestHeaderRead ? static_cast<uint32_t>(left) : kLongestHeaderRead;
    if (!readAt(source, peOffset, pe, got)) return false;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return false;

    const uint8_t* optional = pe + kPeSignatureAndFileHeader;
    const uint16_t magic = get16(optional);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return false;
    const uint32_t countField = magic == kPe32Magic ? 92 : 108;
    const uint32_t directories = countField + 4;
    const uint32_t entry = directories + 8 * kSecurityEntry;
    // The optional header must hold the security entry, and so must the bytes read.
    const uint32_t optionalSize = get16(pe + kOptionalHeaderSizeField);
    if (optionalSize < entry + 8 || kPeSignatureAndFileHeader + entry + 8 > got) return false;
    if (get32(optional + countField) <= kSecurityEntry) return false;

    // For this one directory the "address" is a file offset, not a memory address.
    offset = get32(optional + entry);
    const uint64_t size = get32(optional + entry + 4);
    headersEnd = peOffset + kPeSignatureAndFileHeader + optionalSize;
    if (size < kCertificateHeader || offset % 8 != 0) return false;
    if (offset < headersEnd || offset + size != imageSize) return false;

    // The first entry of the table must look like one and fit in it.
    uint8_t cert[kCertificateHeader];
    if (!readAt(source, offset, cert, kCertificateHeader)) return false;
    const uint32_t length = get32(cert);
    const uint16_t revision = get16(cert + 4), type = get16(cert + 6);
    if (length < kCertificateHeader || length > size) return false;
    if (revision != 0x0100 && revision != 0x0200) return false;
    return type >= 1 && type <= 4;
}

}  // namespace

PayloadEnd findPayloadEnd(ImageReadAt readAt, void* source, uint64_t imageSize) {
    PayloadEnd found;
    found.end = imageSize;
    uint64_t offset = 0, headersEnd = 0;
    if (!certificateTableOf(readAt, source, imageSize, offset, headersEnd)) return found;

    // The zeros right before the table, never reaching back into the headers.
    uint8_t before[kMaxSigningPadding];
    const uint64_t room = offset - headersEnd;
    const uint32_t span =
        room < kMaxSigningPadding ? static_cast<uint32_t>(room) : kMaxSigningPadding;
    if (span > 0 && !readAt(source, offset - span, before, span)) return found;
    uint32_t zeros = 0;
    while (zeros < span && before[span - 1 - zeros] == 0) ++zeros;

    found.end = offset;
    found.zeroBytes = zeros;
    found.certificateTable = true;
    return found;
}

PayloadEnd findPayloadEnd(File& image, uint64_t imageSize) {
    return findPayloadEnd(readFromFile, &image, imageSize);
}
