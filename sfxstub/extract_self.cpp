// The extraction run of the extractor: the shared run under the extractor's own dialogs. Its
// password dialog has no meter (it only ever asks for passwords to open archives), and its
// progress dialog no writer.
#include "sfxstub/extract_self.h"

#include "common/archive/extraction_run.h"

void extractSelf(HINSTANCE templateModule, HWND owner, HINSTANCE stubModule,
                 const char16_t* destination, const char16_t* archivePath,
                 const char16_t* tokenPassword) {
    static constexpr ExtractionDialogs kDialogs = {kExtractorDecryptDialog,
                                                   kExtractorProgressDialog};
    runExtractionWithDialogs(templateModule, kDialogs, owner, stubModule, destination, archivePath,
                             tokenPassword);
}
