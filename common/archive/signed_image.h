// Where the payload of an image ends once a code signature may sit behind it. Signing a
// Windows program (signtool, osslsigncode) pads the file with zeros to a multiple of 8 bytes,
// appends a certificate table and records the table in the PE security directory. Our trailer
// is then no longer the last 32 bytes, so every reader first asks here where the payload ends.
//
// The parse trusts nothing: every field of the DOS header, the PE header and the first
// certificate entry is checked against the file size in 64-bit arithmetic, nothing is read
// outside the file, and any image that is not plainly signed (no program in front, no
// directory, a directory that does not end the file, sizes that do not fit) is read as
// unsigned, ending at the file size. It reads at most a few hundred bytes.
#pragma once

#include <cstdint>

#include "common/support/file_io.h"

// The signing tools pad to 8 bytes, so at most 7 zeros can stand between payload and table.
constexpr uint32_t kMaxSigningPadding = 7;

struct PayloadEnd {
    // Unsigned: the file size. Signed: the offset of the certificate table.
    uint64_t end = 0;
    // Zero bytes immediately before `end` (at most kMaxSigningPadding, always 0 when unsigned).
    // Padding and the trailer's own last bytes look the same, so a reader tries the ends
    // end, end - 1, ... end - zeroBytes in turn and takes the first whose trailer checks out.
    uint32_t zeroBytes = 0;
    bool certificateTable = false;
};

// Reads exactly `bytes` bytes at `offset` of `source` into `out`; false when it cannot.
using ImageReadAt = bool (*)(void* source, uint64_t offset, uint8_t* out, uint32_t bytes);

// The payload end of an image of `imageSize` bytes, read through `readAt`. A read that fails
// is taken as an unsigned image.
PayloadEnd findPayloadEnd(ImageReadAt readAt, void* source, uint64_t imageSize);

// The same for an open file; moves its file pointer.
PayloadEnd findPayloadEnd(File& image, uint64_t imageSize);
