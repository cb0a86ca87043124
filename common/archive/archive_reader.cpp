// The reader: one archive in, its files out under the destination folder. The trailer and the
// info block are checked whole before anything is created; then the data stream is read in
// chunks, deciphered in place as one chain and cut into files by their sizes, which may start
// and end anywhere in a chunk (empty files included). Every file goes to a temporary beside its
// target, and the temporaries are renamed into place together only when the whole archive has
// been read and, when the archive carries an integrity record, its tag has matched; a run that
// fails for any reason removes them and leaves the destination's files as they were (folders
// it made may stay).
#include <cstring>

#include "common/archive/archive_format.h"
#include "common/archive/directory_chain.h"
#include "common/archive/extraction_commit.h"
#include "common/archive/job_records.h"
#include "common/archive/leaf_hasher.h"
#include "common/archive/percent_meter.h"
#include "common/archive/stored_name.h"
#include "common/archive/visible_name.h"
#include "common/support/localised_text.h"
#include "common/support/log.h"
#include "common/support/string_ids.h"

namespace {

// Files this long or longer are given their size before their data is written.
constexpr uint64_t kReserveFrom = 1 << 20;

struct ReaderRun {
    explicit ReaderRun(ArchiveReader& reader) : job(reader), meter(0) {}

    ArchiveReader& job;
    File archive;
    FileIdentity archiveIdentity;
    ByteBuf chunk;  // one chunk of the data stream; with an integrity record, six
    WideBuf path;   // output path of the current file, for the log
    File output;
    DestinationTree tree;
    ExtractionCommit pending;
    PayloadLocation where;
    PayloadSeal seal;
    PercentMeter meter;
    uint32_t index = 0;    // entry being written
    uint32_t created = 0;  // temporaries made so far
    uint64_t written = 0;  // bytes of it written
    bool started = false;

    ProgressSink* progress() const { return job.progress; }
    const FileTable& files() const { return job.fileTable; }

    // The path of an entry as the user sees it: the destination, a backslash unless it ends in
    // one, the name. An empty destination means the current folder, so the name stands alone.
    void buildPath(const char16_t* name) {
        const WideBuf& dest = job.destinationFolder;
        const uint32_t chars = dest.length();
        path.assign(chars > 0 ? dest.data : u"");
        if (chars > 0 && !isPathSeparator(dest.data[chars - 1])) path.append(u"\\");
        path.append(name);
    }

    // The destination and the room for the temporaries, once, before the first file.
    bool openDestination() {
        if (!pending.prepare(files().count())) return fail(kOutOfMemory);
        const char16_t* dest =
            job.destinationFolder.data != nullptr ? job.destinationFolder.data : u"";
        if (dest[0] != 0) createDirectoryChain(dest);
        if (!tree.open(dest)) return fail(kWriteError);
        return true;
    }

    bool startFile() {
        started = true;
        written = 0;
        if (job.verifyOnly) return true;
        if (index == 0 && !openDestination()) return false;
        const FileEntry e = files().at(index);
        buildPath(e.name);
        logLine(3, "write_crypt_files", u"%d %s", static_cast<int>(index),
                path.data != nullptr ? path.data : e.name);
        const char16_t* leaf = nullptr;
        const TreeEnter entered = pending.enterFolderOf(tree, files(), index, true, leaf);
        if (entered == TreeEnter::kLinkInPath) {
            logLine(1, "write_crypt_files", u"%d refused: a folder of it is a link",
                    static_cast<int>(index));
            return refuse(kRefusedLinkInPath);
        }
        if (entered == TreeEnter::kAliasInPath) {
            logLine(1, "write_crypt_files", u"%d refused: a folder of it is another's short name",
                    static_cast<int>(index));
            return refuse(kRefusedOtherName);
        }
        if (entered == TreeEnter::kNotAFolder) return refuse(kRefusedFileInPath);
        if (entered != TreeEnter::kEntered) return fail(kWriteError);
        if (!pending.createTemporary(tree, index, output)) return fail(kWriteError);
        ++created;
        // A large file gets its whole size at once, so a full disk shows before its data is
        // written and the file is laid out in one piece; for small ones the call costs more
        // than it saves.
        if (e.size >= kReserveFrom && !output.reserve(e.size)) return fail(kWriteError);
        if (progress() != nullptr && progress()->hasStatus()) {
            WideBuf line;
            line.assign(loadText(kStrDecrypt));
            line.append(u" ");
            // Shown so that a name cannot pass itself off as another (see visible_name.h).
            char16_t shown[kMaxNameChars * kVisibleGrowth + 1];
            visibleName(e.name, e.nameLength / 2, shown, kMaxNameChars * kVisibleGrowth + 1);
            line.append(shown);
            progress()->showStatus(line.data);
        }
        return true;
    }

    void endFile() {
        // The time the archive kept, once the last byte is written (a write would move it), on
        // the temporary, whose rename into place keeps it.
        const uint64_t kept = seal.metadata.fileTime(index);
        if (!job.verifyOnly && kept != 0 && !output.setModifiedTime(kept)) {
            logLine(2, "write_crypt_files", u"%d: its time could not be set",
                    static_cast<int>(index));
        }
        output.close();
        started = false;
        written = 0;
        ++index;
    }

    bool writeBytes(const uint8_t* bytes, uint32_t n) {
        if (!job.verifyOnly) {
            const int64_t done = output.write(bytes, n);
            logLine(5, "write_crypt_files", u"%d - after WriteFile", static_cast<int>(done));
            if (done != static_cast<int64_t>(n)) return fail(kWriteError);
        }
        written += n;
        return true;
    }

    // Ends the run as a file's place was refused.
    bool refuse(TargetRefusal why) {
        job.failedRefusal = why;
        return fail(kWriteError, 0);
    }

    // Ends the run with `why`: every temporary made so far goes, the destination stays as it
    // was.
    bool fail(ExtractResult why) { return fail(why, lastSystemError()); }
    // The same, with the system's error code to report (0: refused, not failed).
    bool fail(ExtractResult why, uint32_t error) {
        job.result = why;
        if (why == kWriteError) {
            job.failedFile = index;
            job.failedError = error;
        }
        output.close();
        if (created > 0) pending.discard(tree, files(), 0, created);
        created = 0;
        return false;
    }

    // Starts and closes the empty files that stand at the current position.
    bool emptyFiles() {
        const uint32_t count = files().count();
        while (index < count && files().sizeOf(index) == 0) {
            if (!startFile()) return false;
            endFile();
        }
        return true;
    }

    bool extract();
    bool checkSeal();
    bool makeFolders();
    bool commit();
    bool mayGoOn();
};

// An archive that cannot be checked for changes goes on only as the job allows: refused, allowed,
// or asked of the user through the progress sink. Decided before anything is written, and logged
// either way.
bool ReaderRun::mayGoOn() {
    if (seal.checked()) return true;
    const bool later = seal.kind == kTailLaterVersion;
    job.integrity = later ? kIntegrityLaterVersion : kIntegrityAbsent;
    bool goOn = job.unverified == kUnverifiedAllow;
    if (job.unverified == kUnverifiedAsk && progress() != nullptr) {
        goOn = progress()->allowUnverified(later);
    }
    logLine(goOn ? 2 : 1, "integrity",
            goOn ? u"cannot be checked for changes (%s): going on as allowed"
                 : u"cannot be checked for changes (%s): refused",
            later ? u"integrity record of a later version" : u"no integrity record");
    if (!goOn) job.result = kUnverified;
    return goOn;
}

bool ReaderRun::extract() {
    const uint64_t dataSize = job.trailer.dataSize;
    const uint32_t count = files().count();
    // With an integrity record each chunk's ciphertext is hashed into its leaf before it is
    // deciphered in place: on the hasher's thread, two chunks at a time. While the reader
    // deciphers and writes one pair, the hasher hashes the next and the reader has read the
    // one after, so reading, hashing and writing all overlap. Six chunk buffers take turns.
    const bool hashing = seal.checked();
    constexpr uint32_t kRing = 6;
    if (!chunk.ensureCapacity(hashing ? kRing * kChunkSize : kChunkSize + 16)) {
        return fail(kOutOfMemory);
    }
    auto bufferOf = [&](uint64_t i) {
        return chunk.data + (hashing ? (i % kRing) * kChunkSize : 0);
    };
    if (!archive.seek(where.dataOffset)) return fail(kCorrupt);
    meter = PercentMeter(dataSize);
    job.cipher.restartChain();
    const uint64_t chunks = (dataSize + kChunkSize - 1) / kChunkSize;
    auto bytesOf = [&](uint64_t i) {
        const uint64_t left = dataSize - i * kChunkSize;
        return left < kChunkSize ? static_cast<uint32_t>(left) : kChunkSize;
    };
    auto readChunk = [&](uint64_t i) {
        return archive.read(bufferOf(i), bytesOf(i)) == static_cast<int64_t>(bytesOf(i));
    };
    // Pair p is chunks 2p and 2p + 1 (one, at the end).
    auto readPair = [&](uint64_t i) {
        return readChunk(i) && (i + 1 >= chunks || readChunk(i + 1));
    };
    LeafHasher hasher;
    auto postPair = [&](uint64_t i) {
        const bool two = i + 1 < chunks;
        hasher.post(bufferOf(i), bytesOf(i), two ? bufferOf(i + 1) : nullptr,
                    two ? bytesOf(i + 1) : 0);
    };
    if (hashing && chunks > 0) {
        hasher.start();
        if (!readPair(0)) return fail(kCorrupt);
        postPair(0);
        if (2 < chunks && !readPair(2)) return fail(kCorrupt);
    }
    uint64_t processed = 0;
    for (uint64_t i = 0; i < chunks; ++i) {
        const uint32_t bytes = bytesOf(i);
        uint8_t* const data = bufferOf(i);
        if (hashing && i % 2 == 0) {
            uint8_t leaves[2][kIntegrityLeafSize];
            const bool two = i + 1 < chunks;
            hasher.take(leaves[0], two ? leaves[1] : nullptr);
            seal.tag.addLeaf(leaves[0]);
            if (two) seal.tag.addLeaf(leaves[1]);
            if (i + 2 < chunks) postPair(i + 2);
            if (i + 4 < chunks && !readPair(i + 4)) return fail(kCorrupt);
        } else if (!hashing && !readChunk(i)) {
            return fail(kCorrupt);
        }
        job.cipher.decryptBlocks(data, bytes / 16);

        uint32_t consumed = 0;
        while (consumed < bytes) {
            if (!emptyFiles()) return false;
            if (index >= count) break;  // what is left is the stream's padding
            if (!started && !startFile()) return false;
            const uint64_t size = files().sizeOf(index);
            const uint64_t want = size - written;
            const uint32_t take =
                want < bytes - consumed ? static_cast<uint32_t>(want) : bytes - consumed;
            if (!writeBytes(data + consumed, take)) return false;
            consumed += take;
            if (written == size) endFile();
        }
        processed += bytes;
        reportPercent(progress(), meter, processed);
    }
    // Empty files after the last byte of data (or in an archive with no data at all).
    if (!emptyFiles()) return false;
    return checkSeal();
}

bool ReaderRun::checkSeal() {
    switch (seal.kind) {
        case kTailRecord:
            if (!seal.tag.matches(seal.tail.tag)) {
                logLine(1, "integrity", u"integrity record: the tag does not match");
                return fail(kCorrupt);
            }
            job.integrity = kIntegrityVerified;
            logLine(3, "integrity", u"integrity: verified");
            return true;
        case kTailLaterVersion:
            job.integrity = kIntegrityLaterVersion;
            logLine(3, "integrity", u"integrity: not verified (integrity record of version %d)",
                    static_cast<int>(seal.tail.version));
            return true;
        default:
            job.integrity = kIntegrityAbsent;
            logLine(3, "integrity", u"integrity: not verified (no integrity record)");
            return true;
    }
}

// The folders without files the metadata names, made inside the destination as a file's
// folders are (never through a link, never where a file or anything but a folder stands), before
// any file is renamed into place, so a refusal leaves the destination's files as they were. A
// folder this run made gets the kept time; one that was there keeps its own.
bool ReaderRun::makeFolders() {
    const FileTable& folders = seal.metadata.folders();
    if (job.verifyOnly || folders.count() == 0) return true;
    if (files().count() == 0 && !openDestination()) return false;
    for (uint32_t i = 0; i < folders.count(); ++i) {
        const FileEntry e = folders.at(i);
        const TreeEnter entered = tree.enter(e.name, e.nameLength / 2, true);
        // Past the table's indexes: a folder, which front ends name in general terms.
        index = files().count() + i;
        if (entered == TreeEnter::kLinkInPath || entered == TreeEnter::kNotAFolder) {
            logLine(1, "write_crypt_files", u"folder %s refused: a link or a file stands there",
                    e.name);
            return fail(kWriteError, 0);
        }
        if (entered != TreeEnter::kEntered) return fail(kWriteError);
        if (e.size != 0 && tree.madeCurrent() && !tree.setCurrentTime(e.size)) {
            logLine(2, "write_crypt_files", u"folder %s: its time could not be set", e.name);
        }
    }
    return true;
}

bool ReaderRun::commit() {
    if (!makeFolders()) return false;
    if (job.verifyOnly || files().count() == 0) return true;
    uint32_t failed = 0;
    TargetRefusal refusal = kNotRefused;
    const bool done = pending.commit(tree, files(), archiveIdentity, failed, refusal);
    const uint32_t error = refusal != kNotRefused ? 0 : lastSystemError();
    created = 0;  // renamed into place, or removed by the commit
    if (done) return true;
    index = failed;
    job.failedRefusal = refusal;
    return fail(kWriteError, error);
}

}  // namespace

void ProgressSink::derivingKey(const KeyRecipe&) {
    // Hosts' translated tables predate this line; theirs is used where they have it.
    if (hasStatus()) showStatus(loadTextOrEnglish(kStrDerivingKey));
}

void ArchiveReader::run() {
    ReaderRun r(*this);
    failedFile = UINT32_MAX;
    failedError = 0;
    failedRefusal = kNotRefused;
    integrity = kIntegrityAbsent;
    namesChecked = false;
    if (archivePath.length() == 0 || !r.archive.open(archivePath.data, FileOpen::kReadShared)) {
        result = kCorrupt;
    } else {
        r.archive.identity(r.archiveIdentity);
        ByteBuf scratch;
        cipher.watch = progress;
        const ExtractResult located =
            locatePayload(r.archive, cipher, trailer, scratch, fileTable, r.where, r.seal);
        cipher.watch = nullptr;
        scratch.destroy();
        namesChecked = located == kExtractOk && r.seal.namesChecked;
        if (located != kExtractOk) {
            result = located;
        } else if (r.mayGoOn() && r.extract()) {
            r.commit();
        }
    }
    r.archive.close();
    if (progress != nullptr && progress->hasDialog()) progress->endDialog(0);
}
