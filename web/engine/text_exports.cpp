// The engine's own words for the page: the password meter, the string table and the messages
// the extractor shows for a failed archive, so the page says exactly what the programs say.
#include <cstdint>

#include "common/archive/job_records.h"
#include "common/crypto/password_code_page.h"
#include "common/crypto/password_policy.h"
#include "common/crypto/password_quality.h"
#include "common/support/localised_text.h"
#include "web/engine/exports.h"

// The password dialog's rating of a typed password: a negative verdict, or the quality 0 to 100
// (the same number sfxtool rate prints).
QUILLON_EXPORT(qn_rate) int32_t qnRate(const char16_t* password) {
    return checkWidePassword(password, kDialogPasswordPolicy);
}

// 1 when every character of the password survives the code page the key is made in, 0 when
// the archive would be keyed with question marks in their place.
QUILLON_EXPORT(qn_password_fits) uint32_t qnPasswordFits(const char16_t* password) {
    return passwordFitsCodePage(password) ? 1 : 0;
}

// A text of the string table by id, valid until the next call.
QUILLON_EXPORT(qn_text) const char16_t* qnText(uint32_t id) {
    return loadText(id);
}

// The message the extractor shows for a reading result (wrong password, corrupt, ...), or null
// for a result that needs none. Valid until the next call.
QUILLON_EXPORT(qn_result_message) const char16_t* qnResultMessage(uint32_t result) {
    ArchiveReader reader;
    reader.result = static_cast<ExtractResult>(result);
    return reader.resultMessage();
}
