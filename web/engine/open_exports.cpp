// Opening an archive from the page: locate and check it through the format module, then hand
// the script what it needs to save files: the table, where the data stream lies, and the key.
#include <cstdint>

#include "web/engine/exports.h"
#include "web/engine/opened_archive.h"

namespace {

OpenedArchive g_archive;

bool has(uint32_t index) {
    return g_archive.ready && index < g_archive.files.count();
}

}  // namespace

// Opens the archive the page made available under `name` with `password` (empty: none); the
// result is the reader's (0 ok, 1 wrong password, 2 corrupt, 3 out of memory).
QUILLON_EXPORT(qn_archive_open)
uint32_t qnArchiveOpen(const char16_t* name, const char16_t* password) {
    return g_archive.open(name, password);
}

QUILLON_EXPORT(qn_archive_close) void qnArchiveClose() {
    g_archive.close();
}

QUILLON_EXPORT(qn_archive_count) uint32_t qnArchiveCount() {
    return g_archive.ready ? g_archive.files.count() : 0;
}

// The stored name of a file (backslashes as stored) and its length in characters.
QUILLON_EXPORT(qn_archive_name) const char16_t* qnArchiveName(uint32_t index) {
    return has(index) ? g_archive.files.nameOf(index) : nullptr;
}

QUILLON_EXPORT(qn_archive_name_chars) uint32_t qnArchiveNameChars(uint32_t index) {
    return has(index) ? g_archive.files.charsOf(index) : 0;
}

QUILLON_EXPORT(qn_archive_size) double qnArchiveSize(uint32_t index) {
    return has(index) ? static_cast<double>(g_archive.files.sizeOf(index)) : 0;
}

// Where the data stream starts in the file, and its length with padding.
QUILLON_EXPORT(qn_archive_data_offset) double qnArchiveDataOffset() {
    return g_archive.ready ? static_cast<double>(g_archive.where.dataOffset) : 0;
}

QUILLON_EXPORT(qn_archive_data_size) double qnArchiveDataSize() {
    return g_archive.ready ? static_cast<double>(g_archive.trailer.dataSize) : 0;
}

QUILLON_EXPORT(qn_archive_stub_size) uint32_t qnArchiveStubSize() {
    return g_archive.ready ? g_archive.trailer.stubSize : 0;
}

// What the archive's integrity record asks of the page: 1 when its tag is to be checked (the
// data stream's leaves go to qn_archive_leaves, then qn_archive_seal_matches answers), 0 for
// an archive without one, 2 for a record of a later version; neither of those is checked.
QUILLON_EXPORT(qn_archive_integrity) uint32_t qnArchiveIntegrity() {
    return static_cast<uint32_t>(g_archive.sealKind());
}

// Folds in `count` leaves (32 bytes each, the SHA-256 of each 512 KiB chunk of the data
// stream's ciphertext), the next ones in chunk order.
QUILLON_EXPORT(qn_archive_leaves) void qnArchiveLeaves(const uint8_t* leaves, uint32_t count) {
    g_archive.addLeaves(leaves, count);
}

// With every leaf in: 1 when the record's tag matches, 0 when it does not (the archive is
// damaged or was changed, and nothing of it may be saved).
QUILLON_EXPORT(qn_archive_seal_matches) uint32_t qnArchiveSealMatches() {
    return g_archive.sealMatches() ? 1 : 0;
}

// Writes key and IV (48 bytes) for the browser's own cipher; 0 for an archive without a key.
QUILLON_EXPORT(qn_archive_key) uint32_t qnArchiveKey(uint8_t* out48) {
    return g_archive.ready && g_archive.exportKey(out48) ? 1 : 0;
}
