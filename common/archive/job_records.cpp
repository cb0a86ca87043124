#include "common/archive/job_records.h"

#include <cstring>

#include "common/support/localised_text.h"
#include "common/support/string_ids.h"

namespace {

// The text resultMessage last returned; one per process, used from the interface thread only.
char16_t g_resultMessage[kSharedTextChars];

// Both records report to the dialog's controls once a dialog is given.
void bindDialog(DialogProgress& windows, ProgressSink*& progress, WindowHandle dialog, int statusId,
                int percentId, int barId) {
    if (dialog == nullptr) return;
    windows.bind(dialog, statusId, percentId, barId);
    progress = &windows;
}

}  // namespace

void ArchiveWriter::configure(ModuleHandle stub, const char16_t* base, const char16_t* output,
                              const char16_t* list, uint32_t listLength, uint32_t count) {
    stubModule = stub;
    if (list != nullptr) {
        // Two spare zeros after the copied characters: a list that arrives without its closing
        // empty name still ends inside the buffer, so walking it can never run off the end.
        if (listLength <= UINT32_MAX - 2 && fileList.ensureCapacity(listLength + 2)) {
            std::memcpy(fileList.data, list, std::size_t{listLength} * sizeof(char16_t));
        }
        fileCount = count;
    }
    if (base != nullptr) baseFolder.assign(base);
    if (output != nullptr) outputPath.assign(output);
}

void ArchiveWriter::setFolders(const char16_t* list, uint32_t listLength) {
    // Two spare zeros, as for the files' list.
    if (listLength <= UINT32_MAX - 2 && folderList.ensureCapacity(listLength + 2)) {
        std::memcpy(folderList.data, list, std::size_t{listLength} * sizeof(char16_t));
    }
}

void ArchiveWriter::bindProgress(WindowHandle dialog, int statusId, int percentId, int barId) {
    bindDialog(windows, progress, dialog, statusId, percentId, barId);
}

void ArchiveWriter::destroy() {
    windows.clear();
    progress = nullptr;
    workerThread = nullptr;
    workerThreadId = 0;
    baseFolder.ensureCapacity(0);
    fileList.ensureCapacity(0);
    folderList.ensureCapacity(0);
    outputPath.ensureCapacity(0);
    fileTable.release();
    std::memset(&trailer, 0, sizeof trailer);
    fileCount = 0;
    baseFolder.destroy();
    fileList.destroy();
    folderList.destroy();
    outputPath.destroy();
    cipher.clear();
}

void ArchiveReader::configure(ModuleHandle owner, const char16_t* destination,
                              const char16_t* archive) {
    destinationFolder.ensureCapacity(0);
    archivePath.ensureCapacity(0);
    ownerModule = owner;
    if (destination != nullptr) destinationFolder.assign(destination);
    if (archive != nullptr) archivePath.assign(archive);
}

void ArchiveReader::bindProgress(WindowHandle dialog, int statusId, int percentId, int barId) {
    bindDialog(windows, progress, dialog, statusId, percentId, barId);
}

const char16_t* ArchiveReader::resultMessage() const {
    g_resultMessage[0] = 0;
    uint32_t id = 0;
    switch (result) {
        case kWrongPassword:
            id = kStrWrongPassword;
            break;
        case kCorrupt:
            id = kStrFileCorrupt;
            break;
        case kOutOfMemory:
            id = kStrMemoryError;
            break;
        case kWriteError:
            id = kStrWriteError;
            break;
        default:
            return nullptr;
    }
    return loadText(id, g_resultMessage, kSharedTextChars);
}

void ArchiveReader::destroy() {
    ownerModule = nullptr;
    windows.clear();
    progress = nullptr;
    workerThread = nullptr;
    workerThreadId = 0;
    result = kExtractOk;
    fileTable.release();
    std::memset(&trailer, 0, sizeof trailer);
    destinationFolder.destroy();
    archivePath.destroy();
    cipher.clear();
    cipher.forgetPassword();
}

const char16_t* lastResultMessage() {
    return g_resultMessage;
}
