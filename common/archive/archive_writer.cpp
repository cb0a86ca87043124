// The writer: files in, one archive out. It scans the listed files (for the percentage's total),
// then streams each through one 512 KiB buffer, enciphering the data stream as a single chain,
// and finishes with the info block (and, by default, the integrity record after its records)
// and the trailer. Everything goes to a temporary file beside
// the target, moved into place only when complete, so a failed run leaves nothing behind and
// an archive already there survives it.
#include <cstring>

#include "common/archive/archive_format.h"
#include "common/archive/chunk_pipeline.h"
#include "common/archive/job_records.h"
#include "common/archive/open_ahead.h"
#include "common/archive/percent_meter.h"
#include "common/archive/stored_name.h"
#include "common/archive/visible_name.h"
#include "common/support/clock.h"
#include "common/support/code_page.h"
#include "common/support/localised_text.h"
#include "common/support/log.h"
#include "common/support/string_ids.h"
#include "common/support/system_report.h"
#include "common/support/wide_format.h"

namespace {

// A chunk, the bytes carried over before it, and room after it for the integrity record.
constexpr uint32_t kIoBuffer = kChunkSize + 16 + 16 + kIntegrityLongestTail;

// Joins the base folder and a listed name: with one backslash between them, none added when the
// base already ends in one, and the name alone when there is no base. False when the path would
// not fit.
bool joinPath(const WideBuf& base, const char16_t* name, WideBuf& out) {
    const uint32_t baseChars = base.length();
    const uint32_t nameChars = wideLength(name);
    const bool separator = baseChars > 0 && !isPathSeparator(base.data[baseChars - 1]);
    const uint32_t total = baseChars + (separator ? 1 : 0) + nameChars;
    if (total > kMaxPathChars || !out.ensureCapacity(total + 1)) return false;
    if (baseChars > 0) std::memcpy(out.data, base.data, baseChars * sizeof(char16_t));
    if (separator) out.data[baseChars] = u'\\';
    std::memcpy(out.data + total - nameChars, name, nameChars * sizeof(char16_t));
    return true;
}

// The file name's extension is replaced, or added when it has none. Only a dot in the last
// component counts: "v1.2\notes" becomes "v1.2\notes.exe", not "v1.exe".
void applyExtension(WideBuf& path, const char16_t* extension) {
    const uint32_t chars = path.length();
    uint32_t dot = chars;
    for (uint32_t i = chars; i > 0; --i) {
        if (isPathSeparator(path.data[i - 1])) break;
        if (path.data[i - 1] == u'.') {
            dot = i - 1;
            break;
        }
    }
    path.data[dot] = 0;
    path.append(extension);
}

struct WriterRun {
    explicit WriterRun(ArchiveWriter& writer) : job(writer) {}
    ~WriterRun() { secureZero(carried, sizeof carried); }
    WriterRun(const WriterRun&) = delete;
    WriterRun& operator=(const WriterRun&) = delete;

    ArchiveWriter& job;
    // The integrity record's tag: the data stream's ciphertext goes in as it is written (on the
    // pipeline's thread), the trailer and info block at the end.
    IntegrityTag seal;
    // The record's names tag: the trailer, then the info block's ciphertext up to it.
    NamesTag names;
    LeafStager leaves;  // the data stream's leaves, for the seal
    ByteBuf io;
    ByteBuf scanned;  // list offset of each file that opened in the scan, as uint32
    ByteBuf times;    // with metadata: each stored file's modification time, as uint64
    WideBuf path;
    WideBuf temporary;
    WideBuf text;
    File out;
    // The data stream's bytes past its last whole block, and how many.
    uint8_t carried[16] = {};
    uint32_t carry = 0;
    // The slot small files are being read into, and how many of their bytes it holds.
    uint8_t* gathering = nullptr;
    uint32_t gathered = 0;
    PercentMeter* meter = nullptr;  // while the files are stored
    uint64_t scanTotal = 0;
    uint32_t step = 4;
    bool ansiFamily = false;
    bool tableReady = false;  // the scan had a list to walk
    bool failedScan = false;  // a listed file could not be opened, and every one is wanted
    bool outOfMemory = false;

    ProgressSink* progress() const { return job.progress; }

    void showStatus(const char16_t* format, const char16_t* value) {
        if (progress() == nullptr || !progress()->hasStatus()) return;
        char16_t line[kSharedTextChars];
        formatWide(line, kSharedTextChars, format, value);
        progress()->showStatus(line);
    }

    bool writeAll(const uint8_t* bytes, uint32_t n) {
        return n == 0 || out.write(bytes, n) == static_cast<int64_t>(n);
    }

    // Opens a listed file, its full path built in `into`; checks the stored form of its name
    // too. Called on the thread that opens ahead, so it only reads the job.
    bool openListed(const char16_t* name, File& file, bool ansi, WideBuf& into) const {
        if (!joinPath(job.baseFolder, name, into)) return false;
        char16_t stored[kMaxNameChars + 1];
        const uint32_t storedChars = storedNameFor(name, stored, kMaxNameChars + 1, nullptr);
        // A name the reader would refuse, or one that would show other than it is, is left out
        // as a file that cannot be opened.
        if (!isSafeStoredName(stored, storedChars) || holdsInvisible(stored, storedChars)) {
            return false;
        }
        return ansi ? file.openAnsi(into.data, FileOpen::kReadShared)
                    : file.open(into.data, FileOpen::kReadShared);
    }
    // The full path of a listed file, for the log (the name alone when it would not fit).
    const char16_t* pathForLog(const char16_t* name) {
        return joinPath(job.baseFolder, name, path) ? path.data : name;
    }
    // The scan opens as Unicode everywhere; the store as the system's family wants.
    static bool openToScan(void* run, const char16_t* name, File& file, WideBuf& into) {
        return static_cast<const WriterRun*>(run)->openListed(name, file, false, into);
    }
    static bool openToStore(void* run, const char16_t* name, File& file, WideBuf& into) {
        const WriterRun& r = *static_cast<const WriterRun*>(run);
        return r.openListed(name, file, r.ansiFamily, into);
    }

    void scan();
    WriteResult createOutput();
    bool storeFiles(uint32_t& stored);
    void sendChunk(ChunkPipeline& behind, uint8_t* slot, uint32_t bytes, bool onThread);
    bool gatherFile(ChunkPipeline& behind, File& file, uint32_t size);
    void flushGathered(ChunkPipeline& behind);
    bool streamFile(ChunkPipeline& behind, File& file, uint64_t size);
    bool finish(uint32_t stored);
    bool gatherFolders(FileTable& folders);
    void abandon(WriteResult why);

    bool keepsMetadata() const { return job.integrity && job.metadata; }
};

void WriterRun::scan() {
    ArchiveWriter& w = job;
    w.fileTable.release();
    if (w.fileList.data == nullptr || w.fileCount == 0 ||
        !scanned.ensureCapacity(w.fileCount * 4)) {
        tableReady = false;
        return;
    }
    tableReady = true;
    uint32_t index = 0, listed = 0;
    // Where each listed name starts, for the openers; the names that open are then kept in
    // the same array, moved down over the ones that do not.
    uint32_t* offsets = reinterpret_cast<uint32_t*>(scanned.data);
    uint32_t names = 0;
    for (uint32_t at = 0; names < w.fileCount;) {
        offsets[names] = at;
        if (listedNameAt(w.fileList, at) == nullptr) break;
        ++names;
    }
    OpenAhead ahead;
    ahead.start(w.fileList, offsets, names, &WriterRun::openToScan, this);
    while (index < w.fileCount) {
        OpenAhead::Opened& next = ahead.take();
        const char16_t* name = next.name;
        if (name == nullptr) break;
        const uint32_t at = next.offset;
        File& file = next.file;
        const bool opened = next.opened;
        const uint32_t error = next.error;
        // The opener built the path for itself; it is built again only for the log.
        if (logWants(3)) {
            logLine(3, "1", u"err:%d handle:%d checked[#%d]:%s", static_cast<int>(error),
                    static_cast<int>(file.handleValue()), static_cast<int>(index),
                    pathForLog(name));
        }
        ++listed;
        if (!opened) {
            logLine(1, "1", u"left out: %s", name);
            if (w.strictList) {
                // The caller wants every listed file or no archive.
                w.failedName = listed - 1;
                w.failedError = error;
                failedScan = true;
                break;
            }
            continue;
        }
        const int64_t size = file.size();
        const uint64_t bytes = size > 0 ? static_cast<uint64_t>(size) : 0;
        char16_t stored[kMaxNameChars + 1];
        const uint32_t chars = storedNameFor(name, stored, kMaxNameChars + 1, nullptr);
        if (!w.fileTable.add(stored, chars, bytes)) {
            outOfMemory = true;
            break;
        }
        scanTotal += bytes + 2 * uint64_t{wideLength(name)} + 12;
        offsets[index] = at;
        step = step % 5 + 1;
        showStatus(u"Prepare for encryption%s", &u"....."[step]);  // 0, 4, 3, 2, 1, 0, 4... dots
        ++index;
    }
    w.fileCount = index;
}

WriteResult WriterRun::createOutput() {
    ArchiveWriter& w = job;
    const bool hasStub = w.stubModule != nullptr || w.stubImage.bytes != nullptr;
    if (w.outputPath.length() == 0) {
        uint32_t offset = 0;
        const char16_t* first = listedNameAt(w.fileList, offset);
        w.outputPath.assign(first != nullptr ? first : u"");
        applyExtension(w.outputPath, hasStub ? u".exe" : u".tvf");
    }
    // The temporary file sits beside the target, so moving it into place never crosses a disk.
    temporary.assign(w.outputPath.data);
    const UtcTime now = currentUtcTime();
    char16_t suffix[32];
    formatWide(suffix, 32, u".%02d%03d.partial", now.second, now.millisecond);
    temporary.append(suffix);
    if (!out.create(temporary.data, FileCreate::kNew)) return kWriteCannotCreate;

    StubImage stub = w.stubImage.bytes != nullptr ? w.stubImage : stubResourceOf(w.stubModule);
    if (stub.bytes != nullptr && stub.size > 0) {
        if (!writeAll(stub.bytes, stub.size)) return kWriteFailed;
        w.trailer.stubSize = stub.size;
        logLine(3, "4", u"res size:%d", static_cast<int>(stub.size));
    }
    return kWriteOk;
}

// Queues the whole blocks of the stream bytes in `slot` (the carried bytes, then `bytes` new
// ones at slot + kLead) for writing, enciphered here or, for a gathered chunk (`behind`
// enciphers), on the pipeline's thread; what is left of the last block is carried to the next
// chunk.
void WriterRun::sendChunk(ChunkPipeline& behind, uint8_t* slot, uint32_t bytes, bool onThread) {
    constexpr uint32_t kLead = ChunkPipeline::kLead;
    uint8_t* stream = slot + kLead - carry;
    std::memcpy(stream, carried, carry);
    const uint32_t n = carry + bytes;
    const uint32_t whole = n & ~15u;
    if (!onThread) job.cipher.encryptBlocks(stream, whole / 16);
    std::memcpy(carried, stream + whole, n - whole);
    behind.submit(kLead - carry, whole, onThread);
    job.trailer.dataSize += whole;
    carry = n - whole;
    reportPercent(progress(), *meter, job.trailer.dataSize);
}

// A file of less than a chunk: read here, into the chunk being gathered, which goes out when
// full. False when the file gives fewer bytes than it had.
bool WriterRun::gatherFile(ChunkPipeline& behind, File& file, uint32_t size) {
    constexpr uint32_t kLead = ChunkPipeline::kLead;
    while (size > 0) {
        if (gathering == nullptr) {
            gathering = behind.claim();
            gathered = 0;
        }
        const uint32_t room = kChunkSize - gathered;
        const uint32_t take = size < room ? size : room;
        if (file.read(gathering + kLead + gathered, take) != static_cast<int64_t>(take)) {
            return false;
        }
        gathered += take;
        size -= take;
        if (gathered == kChunkSize) flushGathered(behind);
    }
    return true;
}

void WriterRun::flushGathered(ChunkPipeline& behind) {
    if (gathering == nullptr) return;
    sendChunk(behind, gathering, gathered, true);
    gathering = nullptr;
    gathered = 0;
}

// A file of a chunk or more: read ahead on the pipeline's thread, chunk by chunk.
bool WriterRun::streamFile(ChunkPipeline& behind, File& file, uint64_t size) {
    flushGathered(behind);
    behind.settle();  // the gathered chunks are enciphered: the chain goes on here
    behind.beginFile(file, size);
    for (uint64_t position = 0; position < size; position += kChunkSize) {
        uint32_t chunk = 0;
        uint8_t* slot = behind.next(chunk);
        if (slot == nullptr) return false;
        sendChunk(behind, slot, chunk, false);
    }
    return true;
}

bool WriterRun::storeFiles(uint32_t& stored) {
    ArchiveWriter& w = job;
    PercentMeter percent(scanTotal);
    meter = &percent;
    // Chunks are read behind 16 spare bytes, where the bytes carried over from the last chunk
    // (less than a block) go, so each chunk is enciphered in place as whole blocks.
    ChunkPipeline behind;
    if (w.integrity) {
        seal.restart(w.cipher.integrityKey());
        if (!leaves.start(seal)) {
            abandon(kWriteFailed);
            return false;
        }
        behind.hashWrites(&leaves);
    }
    if (!behind.start(out, kChunkSize, &w.cipher)) {
        abandon(kWriteFailed);
        return false;
    }
    if (keepsMetadata() &&
        (uint64_t{w.fileCount} * 8 > UINT32_MAX || !times.ensureCapacity(w.fileCount * 8))) {
        abandon(kWriteFailed);
        return false;
    }
    const uint32_t* offsets = reinterpret_cast<const uint32_t*>(scanned.data);
    OpenAhead ahead;
    ahead.start(w.fileList, offsets, w.fileCount, &WriterRun::openToStore, this);
    for (stored = 0; stored < w.fileCount; ++stored) {
        OpenAhead::Opened& next = ahead.take();
        const char16_t* name = next.name;
        File& file = next.file;
        // It opened in the scan: failing now means it went away, and the archive would lack it.
        if (name == nullptr || !next.opened) {
            behind.finish();
            abandon(kWriteReadFailed);
            return false;
        }
        if (logWants(3)) logLine(3, "3", u"open for read:%s", pathForLog(name));
        if (progress() != nullptr && progress()->hasStatus()) {
            text.assign(loadText(kStrEncrypt));
            text.append(name);
            progress()->showStatus(text.data);
        }
        const int64_t size = file.size();
        if (size < 0) {
            behind.finish();
            abandon(kWriteReadFailed);
            return false;
        }
        const uint64_t fileSize = static_cast<uint64_t>(size);
        w.fileTable.setSize(stored, fileSize);
        if (keepsMetadata()) {
            // Taken as the file is opened to be stored; a time the system cannot tell is 0,
            // which the reader leaves alone.
            uint64_t modified = 0;
            file.modifiedTime(modified);
            std::memcpy(times.data + uint64_t{stored} * 8, &modified, 8);
        }
        logLine(3, "rftc", u"file size: %I64d %s", static_cast<long long>(fileSize),
                w.fileTable.nameOf(stored));
        // A short read means the file shrank or failed under us: its record would claim bytes
        // the stream does not hold.
        const bool whole = fileSize < kChunkSize
                               ? gatherFile(behind, file, static_cast<uint32_t>(fileSize))
                               : streamFile(behind, file, fileSize);
        if (!whole) {
            behind.finish();
            abandon(kWriteReadFailed);
            return false;
        }
    }
    flushGathered(behind);
    meter = nullptr;
    if (!behind.finish()) {
        abandon(kWriteFailed);
        return false;
    }
    std::memcpy(io.data, carried, carry);
    secureZero(carried, sizeof carried);
    logLine(3, "rftc", u"all fsize: %I64d", static_cast<long long>(w.trailer.dataSize));
    logLine(3, "rftc", u"files: %d", static_cast<int>(stored));
    return true;
}

bool WriterRun::finish(uint32_t stored) {
    ArchiveWriter& w = job;
    ArchiveTrailer& t = w.trailer;
    // The data stream's last partial block, zero-padded.
    if (carry != 0) {
        t.dataPadding = static_cast<uint8_t>(16 - carry);
        std::memset(io.data + carry, 0, 16 - carry);
        w.cipher.encryptBlocks(io.data, 1);
        if (w.integrity) leaves.add(io.data, 16);
        if (!writeAll(io.data, 16)) return false;
        t.dataSize += 16;
    }
    if (w.integrity) leaves.finish();
    carry = 0;
    t.fileCount = stored;
    w.cipher.restartChain();

    // The trailer is settled before the info block is written, since the integrity tag covers
    // it first: the records' length gives the block's.
    uint64_t recordsEnd = 0;
    for (uint32_t i = 0; i < stored; ++i) {
        const uint32_t name = w.fileTable.at(i).nameLength;
        recordsEnd += kInfoRecordHeader + (name <= kMaxNameBytes ? name : kMaxNameBytes);
    }
    if (recordsEnd > UINT32_MAX - 2 * kIntegrityLongestTail) return false;
    const uint32_t r = static_cast<uint32_t>(recordsEnd);
    // The metadata record, made whole before the trailer, whose sizes count it.
    const bool withMetadata = keepsMetadata();
    const uint8_t version = withMetadata ? kIntegrityVersionMetadata : kIntegrityVersion;
    ByteBuf metadata;
    uint32_t metadataBytes = 0;
    if (withMetadata) {
        FileTable folders;
        if (!gatherFolders(folders)) return false;
        metadataBytes = metadataBytesFor(stored, folders);
        if (metadataBytes == 0 || metadataBytes > UINT32_MAX - 2 * kIntegrityLongestTail - r ||
            !metadata.ensureCapacity(metadataBytes)) {
            return false;
        }
        const uint64_t* fileTimes = reinterpret_cast<const uint64_t*>(times.data);
        encodeMetadata(stored, fileTimes, folders, metadata.data);
    }
    // A hardened key's salt and cost go last, in the clear, and under both tags.
    uint8_t keyBlock[kKeyBlockBytes];
    const bool hardened = keyBlockFor(w.cipher, keyBlock);
    const uint8_t* covered = hardened ? keyBlock : nullptr;
    if (w.integrity) {
        // The trailer announces the record, so that it cannot be taken away unseen.
        t.recordVersion = version;
        t.infoPadding = static_cast<uint8_t>(roundUp16(r) - r);
        t.infoSize = r + recordBytesFor(r, version) + metadataBytes;
        seal.addTrailer(t.bytes(), covered);
        names.restart(w.cipher.integrityKey());
        names.addTrailer(t.bytes(), covered);
    } else {
        t.recordVersion = 0;
        t.infoPadding = static_cast<uint8_t>(paddingTo16(r));
        t.infoSize = r + t.infoPadding;
    }

    // The info block, flushed whole blocks at a time when the buffer fills.
    uint32_t flushed = 0;
    uint32_t n = 0;  // bytes in the buffer, not yet written
    auto flush = [&]() {
        const uint32_t whole = n & ~15u;
        if (w.integrity) seal.addInfo(io.data, whole);
        w.cipher.encryptBlocks(io.data, whole / 16);
        if (w.integrity) names.addCipherText(io.data, whole);
        if (!writeAll(io.data, whole)) return false;
        flushed += whole;
        n -= whole;
        std::memmove(io.data, io.data + whole, n);
        return true;
    };
    for (uint32_t i = 0; i < stored; ++i) {
        const FileEntry e = w.fileTable.at(i);
        if (e.nameLength + n + kInfoRecordHeader > kChunkSize && !flush()) return false;
        n += encodeInfoRecord(e, io.data + n);
    }
    if (withMetadata) {
        // Alignment zeros, the metadata, then guard, header and tags as in version 2.
        const uint32_t align = static_cast<uint32_t>(roundUp16(r) - r);
        std::memset(io.data + n, 0, align);
        n += align;
        for (uint32_t done = 0; done < metadataBytes;) {
            if (n + 16 > kChunkSize && !flush()) return false;
            const uint32_t room = kChunkSize - n;
            const uint32_t left = metadataBytes - done;
            const uint32_t piece = left < room ? left : room;
            std::memcpy(io.data + n, metadata.data + done, piece);
            n += piece;
            done += piece;
        }
        metadata.destroy();
        n += encodeRecord(static_cast<uint32_t>(roundUp16(r)) + metadataBytes, w.cipher.hasKey(),
                          nullptr, io.data + n, version, metadataBytes);
    } else if (w.integrity) {
        n += encodeRecord(r, w.cipher.hasKey(), nullptr, io.data + n, version);
    }
    if (w.integrity) {
        // The record after the records. The names tag covers the ciphertext before it, so that
        // much is enciphered first; the tag covers the plaintext of everything before it, names
        // tag included; then the two tags are enciphered, continuing the chain.
        const uint32_t namesAt = n - 2 * kIntegrityTagSize;
        seal.addInfo(io.data, namesAt);
        w.cipher.encryptBlocks(io.data, namesAt / 16);
        names.addCipherText(io.data, namesAt);
        uint8_t* const namesTag = io.data + namesAt;
        if (!names.finish(namesTag)) return false;
        seal.addInfo(namesTag, kIntegrityTagSize);
        if (!seal.finish(namesTag + kIntegrityTagSize)) return false;
        w.cipher.encryptBlocks(namesTag, 2 * kIntegrityTagSize / 16);
    } else {
        std::memset(io.data + n, 0, t.infoPadding);
        n += t.infoPadding;
        w.cipher.encryptBlocks(io.data, n / 16);
    }
    if (!writeAll(io.data, n)) return false;
    // The block must be what the trailer, written next, says it is.
    if (flushed + n != t.infoSize) return false;
    w.cipher.restartChain();
    logLine(3, "rftc", u"all fsize: %I64d", static_cast<long long>(t.dataSize));
    logLine(3, "rftc", u"all rem: %d", static_cast<int>(t.dataPadding));
    logLine(3, "rftc", u"files num: %d", static_cast<int>(t.fileCount));
    logLine(3, "rftc", w.integrity ? u"integrity record written" : u"no integrity record");

    uint8_t sealed[kTrailerSize];
    sealTrailer(w.cipher, t, sealed);
    return writeAll(sealed, kTrailerSize) && (!hardened || writeAll(keyBlock, kKeyBlockBytes));
}

// The folders without files the front end listed, under their stored names, each with its
// time where the table keeps a size (0 when the system cannot tell it). A name that cannot be
// stored fails the run: the front end checks its names before it starts one.
bool WriterRun::gatherFolders(FileTable& folders) {
    uint32_t at = 0;
    while (const char16_t* name = listedNameAt(job.folderList, at)) {
        char16_t stored[kMaxNameChars + 1];
        const uint32_t chars = storedNameFor(name, stored, kMaxNameChars + 1, nullptr);
        if (!isSafeStoredName(stored, chars) || holdsInvisible(stored, chars) ||
            !joinPath(job.baseFolder, name, path)) {
            return false;
        }
        uint64_t modified = 0;
        pathModifiedTime(path.data, modified);
        if (!folders.add(stored, chars, modified)) return false;
    }
    return true;
}

void WriterRun::abandon(WriteResult why) {
    job.writeResult = why;
    out.close();
    if (temporary.length() > 0) deleteFile(temporary.data);
}

}  // namespace

void ArchiveWriter::run() {
    logLine(3, "start", u"");
    writeResult = kWriteOk;
    trailer.dataSize = 0;
    WriterRun r(*this);
    const int family = osClass();
    r.ansiFamily = family >= 1 && family <= 3;

    if (!r.io.ensureCapacity(kIoBuffer)) {
        writeResult = kWriteFailed;
    } else {
        r.scan();
    }
    logLine(3, "3", u"before open for write:%s",
            outputPath.data != nullptr ? outputPath.data : u"");
    WriteResult created = kWriteCannotCreate;
    uint32_t createError = 0;
    const bool storable = r.tableReady && !r.failedScan && !r.outOfMemory && fileCount > 0;
    if (writeResult == kWriteOk && storable) {
        created = r.createOutput();
        if (created != kWriteOk) createError = lastSystemError();
    }
    logLine(3, "3", u"before write %d, errCode:%d", static_cast<int>(r.out.handleValue()),
            static_cast<int>(createError));

    if (writeResult != kWriteOk) {
        // The buffer could not be had.
    } else if (r.outOfMemory) {
        writeResult = kWriteFailed;
    } else if (!storable) {
        // Nothing listed could be read, or a file the caller insisted on: no archive.
        writeResult = kWriteReadFailed;
    } else if (created != kWriteOk) {
        r.abandon(created);
    } else {
        uint32_t stored = 0;
        if (r.storeFiles(stored)) {
            if (!r.finish(stored)) {
                r.abandon(kWriteFailed);
            } else {
                r.out.close();
                if (!replaceFile(r.temporary.data, outputPath.data)) r.abandon(kWriteCannotCreate);
            }
        }
    }
    logLine(3, "end", u"");
    if (progress != nullptr && progress->hasDialog()) progress->endDialog(1);
}
