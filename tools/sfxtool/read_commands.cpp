// sfxtool extract, test and list: the reader, run with or without writing, and the payload's
// table read on its own.
#include <string>

#include "common/archive/archive_format.h"
#include "common/archive/job_records.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
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

std::u16string decimal(uint64_t v) {
    std::u16string s;
    do {
        s.insert(s.begin(), static_cast<char16_t>(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    return s;
}

}  // namespace

int runExtract(Options& o, bool verifyOnly) {
    SecretText password;
    if (const int status = obtainPassword(o, false, password); status != 0) return status;
    ArchiveReader reader;
    reader.configure(nullptr, o.destination.c_str(), o.paths[0].c_str());
    reader.verifyOnly = verifyOnly;
    if (!password.empty()) reader.setPassword(password.text().c_str());
    password.wipe();
    TerminalProgress progress(isTerminal(Stream::kErr));
    reader.bindProgress(&progress);
    reader.run();
    progress.finish();
    if (reader.result == kExtractOk) {
        const std::u16string files = decimal(reader.trailer.fileCount);
        print(Stream::kOut, verifyOnly ? o.paths[0] + u": " + files + u" file(s), all readable\n"
                                       : u"extracted " + files + u" file(s)\n");
    }
    return report(reader.result);
}

int runList(Options& o) {
    SecretText password;
    if (const int status = obtainPassword(o, false, password); status != 0) return status;
    PasswordCipher cipher;
    if (!password.empty()) cipher.setPassword(password.text().c_str());
    password.wipe();
    File archive;
    if (!archive.open(o.paths[0].c_str(), FileOpen::kReadShared)) return report(kCorrupt);
    ArchiveTrailer trailer;
    ByteBuf info;
    FileTable files;
    PayloadLocation where;
    const ExtractResult result = locatePayload(archive, cipher, trailer, info, files, where);
    if (result != kExtractOk) return report(result);
    std::u16string out;
    for (uint32_t i = 0; i < trailer.fileCount; ++i) {
        const FileEntry& e = files.entries[i];
        std::u16string size = decimal(e.size);
        if (size.size() < 12) size.insert(size.begin(), 12 - size.size(), u' ');
        out += size + u"  " + e.name + u"\n";
    }
    print(Stream::kOut, out);
    return 0;
}
