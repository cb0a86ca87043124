// The reader: one archive in, its files out under the destination folder. The trailer and the
// info block are checked whole before anything is created; then the data stream is read in
// 512 KiB chunks, deciphered in place as one chain and cut into files by their sizes, which may
// start and end anywhere in a chunk (empty files included). A file that cannot be created or
// written stops the run with a result that says so, and its incomplete copy is removed.
#include <cstring>

#include "common/archive/archive_format.h"
#include "common/archive/directory_chain.h"
#include "common/archive/job_records.h"
#include "common/archive/percent_meter.h"
#include "common/archive/stored_name.h"
#include "common/support/localised_text.h"
#include "common/support/log.h"
#include "common/support/string_ids.h"

namespace {

constexpr uint32_t kChunk = 512 * 1024;

struct ReaderRun {
    explicit ReaderRun(ArchiveReader& reader) : job(reader), meter(0) {}

    ArchiveReader& job;
    File archive;
    ByteBuf chunk;
    ByteBuf info;
    WideBuf path;  // output path of the current file
    File output;
    PayloadLocation where;
    PercentMeter meter;
    uint32_t index = 0;    // entry being written
    uint64_t written = 0;  // bytes of it written
    bool started = false;

    ProgressSink* progress() const { return job.progress; }

    // The path of an entry: the destination, a backslash unless it ends in one, the name. An
    // empty destination means the current folder, so the name stands alone.
    bool buildPath(const FileEntry& e) {
        const WideBuf& dest = job.destinationFolder;
        const uint32_t chars = dest.length();
        path.assign(chars > 0 ? dest.data : u"");
        if (chars > 0 && !isPathSeparator(dest.data[chars - 1])) path.append(u"\\");
        path.append(e.name);
        return path.data != nullptr;
    }

    bool startFile() {
        const FileEntry& e = job.fileTable.entries[index];
        started = true;
        written = 0;
        if (job.verifyOnly) return true;
        if (!buildPath(e)) return fail(kOutOfMemory);
        logLine(3, "write_crypt_files", u"%d %s", static_cast<int>(index), path.data);
        // The folders the name asks for; the destination itself comes along when missing.
        uint32_t cut = path.length();
        while (cut > 0 && !isPathSeparator(path.data[cut - 1])) --cut;
        if (cut > 0) {
            const char16_t keep = path.data[cut - 1];
            path.data[cut - 1] = 0;
            createDirectoryChain(path.data);
            path.data[cut - 1] = keep;
        }
        if (!output.create(path.data, FileCreate::kReadShared)) return fail(kWriteError, false);
        if (!output.reserve(e.size)) return fail(kWriteError);
        if (progress() != nullptr && progress()->hasStatus()) {
            WideBuf line;
            line.assign(loadText(kStrDecrypt));
            line.append(u" ");
            line.append(e.name);
            progress()->showStatus(line.data);
        }
        return true;
    }

    void endFile() {
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

    // Ends the run with `why`, removing the file being written (it would be incomplete).
    bool fail(ExtractResult why, bool remove = true) {
        job.result = why;
        output.close();
        if (remove && started && !job.verifyOnly && path.length() > 0) deleteFile(path.data);
        return false;
    }

    // Starts and closes the empty files that stand at the current position.
    bool emptyFiles() {
        const uint32_t count = job.trailer.fileCount;
        while (index < count && job.fileTable.entries[index].size == 0) {
            if (!startFile()) return false;
            endFile();
        }
        return true;
    }

    bool extract();
};

bool ReaderRun::extract() {
    const ArchiveTrailer& t = job.trailer;
    const uint64_t dataSize = t.dataSize;
    if (!chunk.ensureCapacity(kChunk + 16)) return fail(kOutOfMemory);
    if (!archive.seek(where.dataOffset)) return fail(kCorrupt);
    meter = PercentMeter(dataSize);
    uint64_t processed = 0;
    for (uint64_t position = 0; position < dataSize; position += kChunk) {
        const uint64_t left = dataSize - position;
        const uint32_t bytes = left < kChunk ? static_cast<uint32_t>(left) : kChunk;
        if (archive.read(chunk.data, bytes) != static_cast<int64_t>(bytes)) return fail(kCorrupt);
        job.cipher.decryptBlocks(chunk.data, bytes / 16);

        uint32_t consumed = 0;
        while (consumed < bytes) {
            if (!emptyFiles()) return false;
            if (index >= t.fileCount) break;  // what is left is the stream's padding
            if (!started && !startFile()) return false;
            const uint64_t size = job.fileTable.entries[index].size;
            const uint64_t want = size - written;
            const uint32_t take =
                want < bytes - consumed ? static_cast<uint32_t>(want) : bytes - consumed;
            if (!writeBytes(chunk.data + consumed, take)) return false;
            consumed += take;
            if (written == size) endFile();
        }
        processed += bytes;
        reportPercent(progress(), meter, processed);
    }
    // Empty files after the last byte of data (or in an archive with no data at all).
    return emptyFiles();
}

}  // namespace

void ArchiveReader::run() {
    ReaderRun r(*this);
    const int64_t size =
        archivePath.length() > 0 && r.archive.open(archivePath.data, FileOpen::kReadShared)
            ? r.archive.size()
            : -1;
    if (size < 0) {
        result = kCorrupt;
    } else if (static_cast<uint64_t>(size) <= kSmallestImage) {
        result = kCorrupt;
    } else if (!readTrailer(r.archive, static_cast<uint64_t>(size), cipher, trailer)) {
        result = kCorrupt;
    } else {
        const uint64_t n = static_cast<uint64_t>(size);
        logLine(3, "read_files_to_crypt",
                u"file size:%I64d, sfx size:%d, encr data size:%I64d, info size:%d, 32, and all "
                u"must be:%I64d",
                static_cast<long long>(n), static_cast<int>(trailer.stubSize),
                static_cast<long long>(trailer.dataSize), static_cast<int>(trailer.infoSize),
                static_cast<long long>(uint64_t{trailer.stubSize} + trailer.dataSize +
                                       trailer.infoSize + kTrailerSize));
        const ExtractResult checked = checkTrailer(trailer, n);
        if (checked != kExtractOk) {
            result = checked;
        } else if (trailer.fileCount > 0) {
            r.where = locationOf(trailer, n);
            const ExtractResult parsed =
                readInfoBlock(r.archive, trailer, r.where, cipher, r.info, fileTable);
            for (uint32_t i = 0; parsed == kExtractOk && i < trailer.fileCount; ++i) {
                const FileEntry& e = fileTable.entries[i];
                logLine(3, "read_files_to_crypt", u"#%d file size:%I64d %s", static_cast<int>(i),
                        static_cast<long long>(e.size), e.name);
            }
            if (parsed != kExtractOk) {
                result = parsed;
            } else {
                r.extract();
            }
        }
    }
    r.archive.close();
    if (progress != nullptr && progress->hasDialog()) progress->endDialog(0);
}
