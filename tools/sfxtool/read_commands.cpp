// sfxtool extract, test and list: the reader, run with or without writing, and the payload's
// table read on its own.
#include <string>

#include "common/archive/archive_format.h"
#include "common/archive/job_records.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/formatted.h"
#include "tools/sfxtool/terminal_progress.h"

namespace {

// The exit status is the result itself; the message is the system's own text for it.
int report(ExtractResult result) {
    if (result == kExtractOk) return 0;
    ArchiveReader messages;
    messages.result = result;
    const char16_t* text = messages.resultMessage();
    complain(text != nullptr ? text : u"extraction failed");
    return static_cast<int>(result);
}

// A password was given but gives no key: reading on without one would blame the password.
int refuseKeyless() {
    complain(u"the password could not be made into a key");
    return kExitNoKey;
}

}  // namespace

int runExtract(Options& o, bool verifyOnly) {
    SecretText password;
    if (const int status = obtainPassword(o, false, password); status != 0) return status;
    ArchiveReader reader;
    reader.configure(nullptr, o.destination.c_str(), o.paths[0].c_str());
    reader.verifyOnly = verifyOnly;
    if (!password.empty() && !reader.setPassword(password.text().c_str())) return refuseKeyless();
    password.wipe();
    TerminalProgress progress(isTerminal(Stream::kErr));
    reader.bindProgress(&progress);
    reader.run();
    progress.finish();
    if (reader.result == kWriteError && reader.failedFile < reader.fileTable.count()) {
        // The system's text, then which file and why, as tar would say it.
        std::u16string where = o.destination;
        if (!where.empty() && where.back() != u'/' && where.back() != u'\\') where += u'/';
        where += reader.fileTable.nameOf(reader.failedFile);
        ArchiveReader messages;
        messages.result = kWriteError;
        const char16_t* text = messages.resultMessage();
        complain(std::u16string(text != nullptr ? text : u"") + u" " + where + u": " +
                 (reader.failedError != 0 ? systemReason(reader.failedError)
                                          : std::u16string(u"refused: a link, a folder, or the "
                                                           u"archive itself stands there")));
        return static_cast<int>(kWriteError);
    }
    if (reader.result == kExtractOk) {
        const unsigned files = reader.trailer.fileCount;
        print(Stream::kOut,
              verifyOnly ? formatted(u"%s: %u file(s), all readable\n", o.paths[0].c_str(), files)
                         : formatted(u"extracted %u file(s)\n", files));
    }
    return report(reader.result);
}

int runList(Options& o) {
    SecretText password;
    if (const int status = obtainPassword(o, false, password); status != 0) return status;
    PasswordCipher cipher;
    if (!password.empty() && !cipher.setPassword(password.text().c_str())) return refuseKeyless();
    password.wipe();
    File archive;
    if (!archive.open(o.paths[0].c_str(), FileOpen::kReadShared)) return report(kCorrupt);
    ArchiveTrailer trailer;
    ByteBuf scratch;
    FileTable files;
    PayloadLocation where;
    const ExtractResult result = locatePayload(archive, cipher, trailer, scratch, files, where);
    scratch.destroy();
    if (result != kExtractOk) return report(result);
    std::u16string out;
    for (uint32_t i = 0; i < files.count(); ++i) {
        const FileEntry e = files.at(i);
        out += formatted(u"%12I64u  %s\n", static_cast<unsigned long long>(e.size), e.name);
        // Written out now and then, so a table of many files is never held twice.
        if (out.size() > 65536) {
            print(Stream::kOut, out);
            out.clear();
        }
    }
    print(Stream::kOut, out);
    return 0;
}
