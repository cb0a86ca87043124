// The records through which a front end hands a job to the engine: ArchiveWriter builds an
// archive from a list of files, ArchiveReader extracts one. A record lives on its front end's
// stack for one modal progress dialog, is lent whole to the worker thread, and owns its
// buffers, file table and key, all wiped when it is destroyed.
#pragma once

#include <cstdint>

#include "common/archive/archive_trailer.h"
#include "common/archive/extract_result.h"
#include "common/archive/file_table.h"
#include "common/archive/progress_sink.h"
#include "common/archive/stub_image.h"
#include "common/archive/wide_buf.h"
#include "common/crypto/password_cipher.h"
#include "common/support/platform_types.h"

// How a writer's run ended. On any failure nothing is left behind: the archive is written to a
// temporary file beside the target and only moved into place when it is complete.
enum WriteResult : uint32_t {
    kWriteOk = 0,
    kWriteCannotCreate = 1,  // the output could not be created (or moved into place)
    kWriteReadFailed = 2,    // a listed file could not be read whole
    kWriteFailed = 3,        // writing the archive failed, for example on a full disk
};

struct ArchiveWriter {
    PasswordCipher cipher;
    ModuleHandle stubModule = nullptr;  // carries the extractor as resource TRV_SFX; null: .tvf
    WideBuf baseFolder;                 // the listed names are relative to it
    WideBuf fileList;                   // names, each ended by a zero, then an empty name
    WideBuf outputPath;                 // empty: derived from the first name
    uint32_t fileCount = 0;             // names given; after the scan, files that opened
    FileTable fileTable;
    ArchiveTrailer trailer{};
    DialogProgress windows;
    ThreadHandle workerThread = nullptr;
    uint32_t workerThreadId = 0;
    ProgressSink* progress = nullptr;  // where the run reports; null: nowhere
    StubImage stubImage;               // given stub bytes; without them the module's resource
    WriteResult writeResult = kWriteOk;
    // Writes the integrity record after the info records (the default). Without it the archive
    // is the classic image, byte for byte.
    bool integrity = true;
    // Keeps each file's modification time, and the folders named in folderList, in a metadata
    // record (an integrity record of version 3; needs `integrity`). Off unless asked for, so the
    // plug-in's hosts get the archives they always did; sfxtool asks unless --no-metadata.
    bool metadata = false;
    // Folders without files, named relative to the base folder like the files: each ended by a
    // zero, then an empty name. Kept only with `metadata`.
    WideBuf folderList;
    // Every listed file or no archive: a file that cannot be opened fails the run (with
    // kWriteReadFailed, its position in the list in failedName and the system's error), where
    // otherwise it is left out with a log line.
    bool strictList = false;
    uint32_t failedName = UINT32_MAX;
    uint32_t failedError = 0;

    ArchiveWriter() = default;
    ~ArchiveWriter() { destroy(); }
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Stores the stub module (also when null); copies what else is given. The list is copied
    // exactly, `listLength` characters zeros included, with the file count.
    void configure(ModuleHandle stub, const char16_t* base, const char16_t* output,
                   const char16_t* list, uint32_t listLength, uint32_t count);
    // The classic key (what the plug-in's hosts expect). An empty password leaves the job
    // without a key. Returns whether it now has one.
    [[nodiscard]] bool setPassword(const char16_t* password) {
        return cipher.setPassword(password);
    }
    // The hardened key: a fresh salt and the default cost, derived here (up to a second). False
    // without a key: an empty password, no random bytes, no memory.
    [[nodiscard]] bool setHardenedPassword(const char16_t* password) {
        KeyRecipe recipe;
        if (!newHardenedRecipe(recipe)) {
            cipher.clear();
            return false;
        }
        return cipher.setHardenedPassword(password, recipe);
    }
    // Copies the list of folders without files, `listLength` characters zeros included.
    void setFolders(const char16_t* list, uint32_t listLength);
    // Reports to the controls of a progress dialog, found by id.
    void bindProgress(WindowHandle dialog, int statusId, int percentId, int barId);
    // Reports to a sink of the caller's.
    void bindProgress(ProgressSink* sink) { progress = sink; }
    // Builds the archive (on the worker thread); leaves writeResult.
    void run();
    // Runs `run` on a new thread (Windows; the progress dialog calls it). Returns its handle,
    // also kept in workerThread with its id in workerThreadId; null when no thread could be made.
    ThreadHandle startWorker();
    void destroy();
};

// What a reader's run found of the archive's integrity record. Only a run that ends well says
// kIntegrityVerified; a tag that does not match ends the run as corrupt.
enum IntegrityState : uint8_t {
    kIntegrityAbsent = 0,        // not verified (no integrity record): older archives
    kIntegrityVerified = 1,      // the record's tag matched
    kIntegrityLaterVersion = 2,  // not verified: a record of a version this reader does not know
};

// What a reader's run does with an archive that cannot be checked for changes (no integrity
// record, or one of a later version), decided before anything is written.
enum UnverifiedChoice : uint8_t {
    kUnverifiedRefuse = 0,  // end with kUnverified
    kUnverifiedAllow = 1,   // go on, as readers did before the record existed
    kUnverifiedAsk = 2,     // ask the progress sink (the user), and refuse unless it says yes
};

struct ArchiveReader {
    PasswordCipher cipher;
    ModuleHandle ownerModule = nullptr;  // kept for the front end; the reader does not use it
    WideBuf destinationFolder;
    WideBuf archivePath;  // in the extractor, its own program file
    FileTable fileTable;
    ArchiveTrailer trailer{};
    DialogProgress windows;
    ThreadHandle workerThread = nullptr;
    uint32_t workerThreadId = 0;
    ExtractResult result = kExtractOk;
    ProgressSink* progress = nullptr;
    bool verifyOnly = false;  // read and decipher everything, create nothing
    // With kWriteError: the table index of the file that could not be written (or refused its
    // place), and the system's error code, for front ends that name it.
    uint32_t failedFile = UINT32_MAX;
    uint32_t failedError = 0;
    // With kWriteError and no system error: why the file's place was refused.
    TargetRefusal failedRefusal = kNotRefused;
    IntegrityState integrity = kIntegrityAbsent;
    UnverifiedChoice unverified = kUnverifiedRefuse;
    // The names and sizes in the table were checked before they were read (a version 2 record);
    // set as soon as the table is read, whatever the run's end.
    bool namesChecked = false;

    ArchiveReader() = default;
    ~ArchiveReader() { destroy(); }
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Empties both paths and the owner module, then stores what is given.
    void configure(ModuleHandle owner, const char16_t* destination, const char16_t* archive);
    // Keeps the typed password until run() has read what key the archive has: a hardened key's
    // salt and cost are in the archive, so it is derived there, on the worker thread. Returns
    // whether a password is held (false for an empty one, or no memory).
    [[nodiscard]] bool setPassword(const char16_t* password) {
        return cipher.holdPassword(password);
    }
    void bindProgress(WindowHandle dialog, int statusId, int percentId, int barId);
    void bindProgress(ProgressSink* sink) { progress = sink; }
    // The localised message of the last result (wrong password, corrupt, out of memory, a file
    // that could not be written), or null when there is none. The text is also kept in a
    // process-wide slot, cleared first.
    const char16_t* resultMessage() const;
    // Extracts the archive (on the worker thread); leaves result.
    void run();
    // As for the writer; the result is set to kExtractOk first.
    ThreadHandle startWorker();
    void destroy();
};

// The process-wide slot that resultMessage fills: its last text, or an empty string.
const char16_t* lastResultMessage();

// The progress dialog's parameter: exactly one of the two is set.
struct ProgressJob {
    ArchiveWriter* writer = nullptr;
    ArchiveReader* reader = nullptr;
};
