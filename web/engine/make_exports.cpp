// Making an archive from the page: the engine's writer, run on the files the page made available
// under their listed names, writing to a sink the script turns into the download. Given the same
// names in the same order, the same extractor and password, it writes exactly the bytes that
// sfxtool create writes (with the classic key; a hardened one has a salt of its own each time).
#include <cstdint>

#include "common/archive/job_records.h"
#include "common/support/code_page.h"
#include "common/support/localised_text.h"
#include "common/support/string_ids.h"
#include "web/engine/exports.h"
#include "web/engine/listed_names.h"
#include "web/engine/page_progress.h"

namespace {

ListedNameCheck g_check;
uint32_t g_failedName = UINT32_MAX;

// Characters of a list of `count` zero-ended names, its closing empty name included.
uint32_t listChars(const char16_t* list, uint32_t count) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i) n += wideLength(list + n) + 1;
    return n + 1;
}

}  // namespace

// Checks the names as sfxtool create does; the problem (0 none), with the name at fault and,
// for a clash, the earlier one in qn_names_index and qn_names_other; qn_names_cut tells whether
// some name loses leading folders when stored.
QUILLON_EXPORT(qn_names_check) uint32_t qnNamesCheck(const char16_t* list, uint32_t count) {
    g_check = checkListedNames(list, count);
    return g_check.problem;
}
QUILLON_EXPORT(qn_names_index) uint32_t qnNamesIndex() {
    return g_check.index;
}
QUILLON_EXPORT(qn_names_other) uint32_t qnNamesOther() {
    return g_check.other;
}
QUILLON_EXPORT(qn_names_cut) uint32_t qnNamesCut() {
    return g_check.cut ? 1 : 0;
}
// For a name refused for an invisible formatting character, that character's code point.
QUILLON_EXPORT(qn_names_character) uint32_t qnNamesCharacter() {
    return g_check.character;
}

// Writes the archive `output` from the `count` files of `list` (zero-ended names, in order),
// under `password` (empty: no key), with the extractor's `stubSize` bytes in front (0: a .tvf);
// the key hardened (a fresh salt, Argon2id) unless `classicKey`, for readers that know only the
// classic one.
// The result is the writer's (0 ok, 1 cannot create, 2 a file could not be read, 3 failed);
// for a file that could not be read, qn_make_failed_name gives its place in the list.
QUILLON_EXPORT(qn_make)
uint32_t qnMake(const char16_t* list, uint32_t count, const char16_t* output,
                const char16_t* password, const uint8_t* stub, uint32_t stubSize,
                uint32_t classicKey) {
    ArchiveWriter writer;
    writer.configure(nullptr, u"", output, list, listChars(list, count), count);
    if (stub != nullptr && stubSize > 0) writer.stubImage = {stub, stubSize};
    // Every listed file or no archive, as sfxtool create has it.
    writer.strictList = true;
    PageProgress progress;
    if (password != nullptr && password[0] != 0) {
        if (classicKey == 0) progress.showStatus(loadTextOrEnglish(kStrDerivingKey));
        const bool keyed =
            classicKey != 0 ? writer.setPassword(password) : writer.setHardenedPassword(password);
        if (!keyed) return kWriteFailed;
    }
    writer.bindProgress(&progress);
    writer.run();
    g_failedName = writer.failedName;
    return writer.writeResult;
}

QUILLON_EXPORT(qn_make_failed_name) uint32_t qnMakeFailedName() {
    return g_failedName;
}
