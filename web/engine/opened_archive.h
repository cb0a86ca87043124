// The archive the page has open: the engine's format module located its payload and read its
// file table, and the page then reads the data stream itself, slice by slice, to check the
// integrity record and to save files. One per worker; opening another closes the last. The key
// stays here until the archive is closed, so that files can be saved one at a time.
#pragma once

#include <cstdint>
#include <optional>

#include "common/archive/archive_format.h"
#include "common/archive/byte_buf.h"
#include "common/archive/file_table.h"
#include "common/crypto/password_cipher.h"
#include "common/support/file_io.h"

struct OpenedArchive {
    File image;
    PasswordCipher cipher;
    ArchiveTrailer trailer{};
    ByteBuf info;
    FileTable files;
    PayloadLocation where;
    // What the info block said of the integrity record, and the tag still waiting for the data
    // stream's leaves. Made anew for each archive and destroyed on close, which wipes its state.
    std::optional<PayloadSeal> seal;
    bool sealSpent = false;  // the tag was compared: it takes no more leaves and no second look
    bool ready = false;      // located and checked; the table and offsets are valid

    // Opens the file the page made available under `name` and checks it as the reader does
    // before it creates anything: trailer, check value, sizes, every stored name, and whether
    // the tail after the records is padding or an integrity record. An empty password reads an
    // archive made without one. The result is the reader's.
    ExtractResult open(const char16_t* name, const char16_t* password);

    // What the record asks for: kTailRecord while leaves are to be added and the tag checked,
    // kTailClassic or kTailLaterVersion when there is nothing to check.
    IntegrityTailKind sealKind() const;

    // Folds the leaves of the data stream's chunks in, `count` of them, in chunk order.
    void addLeaves(const uint8_t* leaves, uint32_t count);

    // With every leaf added: whether the tag matches the stored one. The tag is spent either
    // way; false as well when there is no record to check.
    bool sealMatches();

    // The 32 key bytes and the 16 IV bytes the password derived, for a cipher outside the
    // module (the browser's, which is faster). False without a key.
    bool exportKey(uint8_t* out48) const;

    void close();
};
