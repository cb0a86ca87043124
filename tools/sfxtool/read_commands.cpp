// sfxtool extract, test and list: the reader, run with or without writing, and the payload's
// table read on its own.
#include <filesystem>
#include <string>

#include "common/archive/archive_end.h"
#include "common/archive/archive_format.h"
#include "common/archive/extraction_commit.h"
#include "common/archive/job_records.h"
#include "common/support/destination_tree.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/formatted.h"
#include "tools/sfxtool/interrupts.h"
#include "tools/sfxtool/path_forms.h"
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

// Folders and a file's name are joined as the system's paths join them.
#ifdef _WIN32
constexpr char16_t kFolderSeparator = u'\\';
#else
constexpr char16_t kFolderSeparator = u'/';
#endif

// An archive that cannot be opened is not corrupt: say which file and the system's reason, as
// "a.tvf: No such file or directory", with the status of an unreadable archive. A device, a pipe
// or a socket is no file to read an archive from, whatever the system's code for it says.
int cannotOpen(const std::u16string& archive) {
    const uint32_t error = lastSystemError();
    std::error_code failed;
    const std::filesystem::file_status status = std::filesystem::status(pathOf(archive), failed);
    if (!failed && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status)) {
        complain(archive + u": not a file (a device, a pipe or a socket), so not an archive");
    } else {
        complain(archive + u": " + systemReason(error));
    }
    return static_cast<int>(kCorrupt);
}

// A path in the destination as the user sees it: the destination as given, a separator unless
// it ends in one, the stored name as shown.
std::u16string destinationPath(const std::u16string& destination, const std::u16string& name) {
    std::u16string path = destination;
    if (!path.empty() && path.back() != u'/' && path.back() != u'\\') path += kFolderSeparator;
    return path + shownName(name);
}

// Why a file's place in the destination was refused, in words.
std::u16string refusalWords(TargetRefusal why) {
    switch (why) {
        case kRefusedArchive:
            return u"refused: that is the archive being read";
        case kRefusedLink:
            return u"refused: a symbolic link, junction or other link stands there";
        case kRefusedReadOnly:
            return u"refused: the file there is read-only";
        case kRefusedOtherName:
            return u"refused: the name reaches another file or folder (its short name)";
        case kRefusedLinkInPath:
            return u"refused: a folder on its way is a link";
        case kRefusedFileInPath:
            return u"refused: a file stands where a folder on its way must be";
        case kRefusedNotAFile:
            return u"refused: a folder or other entry that is no plain file stands there";
        default:
            return u"refused";
    }
}

// The ~qs names the run could not remove, said whatever the run's end: the first by its path,
// and how many in all.
void sayLeftBehind(const std::u16string& destination, const FileTable& files) {
    const LeftBehind left = lastLeftBehind();
    if (left.count == 0 || left.file >= files.count()) return;
    const std::u16string name(files.nameOf(left.file), files.charsOf(left.file));
    const size_t cut = name.find_last_of(u"\\/");
    char16_t temporary[16];
    treeTemporaryName(left.tag, left.old, temporary);
    const std::u16string folder = cut == std::u16string::npos ? u"" : name.substr(0, cut + 1);
    complain(u"could not remove " + destinationPath(destination, folder + temporary) + u" (" +
             (left.old ? u"the old contents of " : u"the new contents of ") +
             destinationPath(destination, name) + u"): " + systemReason(left.error) +
             formatted(u"; %u such file(s) left behind, which can be deleted", left.count));
}

// A file that is plainly no archive (archive_end.h) is called so, with the status of an
// unreadable archive, rather than an archive whose password is wrong. 0 for a possible archive.
int refuseNonArchive(const std::u16string& archive, File& file) {
    const ArchiveEnd end = judgeArchiveEnd(file);
    if (end == ArchiveEnd::kPossible) return 0;
    complain(archive + u": not an archive (" +
             (end == ArchiveEnd::kTooSmall ? u"too small to be one"
              : end == ArchiveEnd::kText   ? u"it ends in text"
                                           : u"it does not end as an archive does") +
             u")");
    return static_cast<int>(kCorrupt);
}

// Whether the reader will be able to open the archive, and whether it could be one: asked
// before the password is, so a mistyped name or a file that is no archive is not met with a
// password prompt. 0, or the exit status after saying what is wrong.
int probeArchive(const std::u16string& archive) {
    File probe;
    if (!probe.open(archive.c_str(), FileOpen::kReadShared)) return cannotOpen(archive);
    return refuseNonArchive(archive, probe);
}

// The columns `list -v` shows before each name, each ending in two spaces.
std::u16string detailColumns(const FileEntry& e) {
    return formatted(u"%12I64u  ", static_cast<unsigned long long>(e.size));
}

// What became of the integrity record, in the words test, extract and list -v use. Without a
// password the record is a plain digest that anyone can recompute: it shows damage, not a
// deliberate change, and the words say so.
std::u16string integrityWords(IntegrityState state, bool keyed) {
    switch (state) {
        case kIntegrityVerified:
            return keyed ? u"verified"
                         : u"verified (no password: damage is caught, tampering is not)";
        case kIntegrityLaterVersion:
            return u"not verified (integrity record of a later version)";
        default:
            return u"not verified (no integrity record)";
    }
}

// Why an archive cannot be checked for changes, in the words of the verdicts above.
// The line that names the archive's key derivation and its cost.
std::u16string keyWords(const PasswordCipher& cipher) {
    switch (cipher.kind()) {
        case KeyKind::kHardened: {
            const Argon2Cost& cost = cipher.recipe().cost;
            const std::u16string memory =
                cost.memoryKiB % 1024 == 0
                    ? formatted(u"%u MiB", static_cast<unsigned>(cost.memoryKiB / 1024))
                    : formatted(u"%u KiB", static_cast<unsigned>(cost.memoryKiB));
            return formatted(u"key: Argon2id, %s, %u pass%s, %u lane%s", memory.c_str(),
                             static_cast<unsigned>(cost.passes), cost.passes == 1 ? u"" : u"es",
                             static_cast<unsigned>(cost.lanes), cost.lanes == 1 ? u"" : u"s");
        }
        case KeyKind::kClassic:
            return u"key: classic (SHA-512 of the password, no salt)";
        case KeyKind::kNone:
            break;
    }
    return u"key: none (not encrypted)";
}

std::u16string uncheckedReason(IntegrityState state) {
    return state == kIntegrityLaterVersion ? u"integrity record of a later version"
                                           : u"no integrity record";
}

// The one line that says an archive was refused, or let through, unchecked. Never hidden by -q:
// the user must know that nothing vouches for what was read.
void sayUnchecked(const std::u16string& archive, IntegrityState state, bool refused) {
    complain(archive + u": not verified (" + uncheckedReason(state) + u"): " +
             (refused ? u"it cannot be checked for changes, so it was refused; "
                        u"--allow-unverified opens it without the check"
                      : u"opened without the check, as --allow-unverified asked"));
}

// "extracted 5 file(s), verified", saying how many of them replaced files that were there, or
// how many files that were there were kept instead (with --keep-existing).
std::u16string extractedSummary(unsigned files, const std::u16string& integrity) {
    const CommitCounts counts = lastCommitCounts();
    std::u16string line = formatted(u"extracted %u file(s)", files - counts.kept);
    if (counts.replaced > 0) {
        line += formatted(u", %u of them replacing existing files", counts.replaced);
    }
    if (counts.kept > 0) {
        line += formatted(u", kept %u existing file(s) as they were", counts.kept);
    }
    return line + u", " + integrity + u"\n";
}

}  // namespace

int runExtract(Options& o, bool verifyOnly) {
    SecretText password;
    if (const int status = probeArchive(o.paths[0]); status != 0) return status;
    if (const int status = obtainPassword(o, false, password); status != 0) return status;
    ArchiveReader reader;
    reader.configure(nullptr, o.destination.c_str(), o.paths[0].c_str());
    reader.verifyOnly = verifyOnly;
    reader.unverified = o.allowUnverified ? kUnverifiedAllow : kUnverifiedRefuse;
    if (!password.empty() && !reader.setPassword(password.text().c_str())) return refuseKeyless();
    password.wipe();
    TerminalProgress progress(isTerminal(Stream::kErr) && !o.quiet);
    reader.bindProgress(&progress);
    keepExistingFiles(o.keepExisting);
    catchInterrupts();
    reader.run();
    progress.finish(reader.result == kExtractOk);
    if (!verifyOnly) sayLeftBehind(o.destination, reader.fileTable);
    if (interrupted() && reader.result != kExtractOk) {
        return reportInterrupt(verifyOnly ? u"the test did not finish"
                                          : u"nothing was extracted, and every file in the "
                                            u"destination is as it was");
    }
    if (reader.result == kUnverified) {
        sayUnchecked(o.paths[0], reader.integrity, true);
        return kExitUnverified;
    }
    if (reader.result == kWriteError && reader.failedFile < reader.fileTable.count()) {
        // The system's text, then which file and why, as tar would say it.
        const std::u16string where =
            destinationPath(o.destination, reader.fileTable.nameOf(reader.failedFile));
        ArchiveReader messages;
        messages.result = kWriteError;
        const char16_t* text = messages.resultMessage();
        complain(std::u16string(text != nullptr ? text : u"") + u" " + where + u": " +
                 (reader.failedError != 0 ? systemReason(reader.failedError)
                                          : refusalWords(reader.failedRefusal)));
        return static_cast<int>(kWriteError);
    }
    if (reader.result == kExtractOk && reader.integrity != kIntegrityVerified) {
        sayUnchecked(o.paths[0], reader.integrity, false);
    } else if (reader.result == kExtractOk && !reader.cipher.hasKey()) {
        // Without a password the record is a digest anyone can recompute: said even with -q.
        complain(o.paths[0] + u": " + integrityWords(kIntegrityVerified, false));
    }
    if (reader.result == kExtractOk && !o.quiet) {
        const unsigned files = reader.trailer.fileCount;
        const std::u16string integrity = integrityWords(reader.integrity, reader.cipher.hasKey());
        print(Stream::kOut, verifyOnly ? formatted(u"%s: %u file(s), all readable, %s\n",
                                                   o.paths[0].c_str(), files, integrity.c_str())
                                       : extractedSummary(files, integrity));
        if (verifyOnly) print(Stream::kOut, keyWords(reader.cipher) + u"\n");
    }
    return report(reader.result);
}

int runList(Options& o) {
    File archive;
    if (!archive.open(o.paths[0].c_str(), FileOpen::kReadShared)) return cannotOpen(o.paths[0]);
    if (const int status = refuseNonArchive(o.paths[0], archive); status != 0) return status;
    SecretText password;
    if (const int status = obtainPassword(o, false, password); status != 0) return status;
    PasswordCipher cipher;
    // Held until the archive says which key it has (a hardened one is derived with its salt).
    if (!password.empty() && !cipher.holdPassword(password.text().c_str())) return refuseKeyless();
    password.wipe();
    ArchiveTrailer trailer;
    ByteBuf scratch;
    FileTable files;
    PayloadLocation where;
    PayloadSeal seal;
    const ExtractResult result =
        locatePayload(archive, cipher, trailer, scratch, files, where, seal);
    if (result != kExtractOk) return report(result);
    const IntegrityState unchecked =
        seal.kind == kTailLaterVersion ? kIntegrityLaterVersion : kIntegrityAbsent;
    // With -v the integrity record is checked too, which reads the whole archive (hashing, not
    // deciphering), before anything is shown.
    if (o.verbose && seal.checked() && !verifySeal(archive, trailer, where, scratch, seal)) {
        return report(kCorrupt);
    }
    scratch.destroy();
    // What vouches for the names about to be shown, on standard error so the list stays names.
    // An archive with a version 2 record had its names checked before they were read; one of
    // version 1 only with the data (-v); others not at all.
    const bool keyed = cipher.hasKey();
    if (o.verbose && seal.checked()) {
        // The last line says it: everything was checked before anything was shown.
    } else if (seal.namesChecked) {
        complain(o.paths[0] + u": names " + integrityWords(kIntegrityVerified, keyed) +
                 u"; the files' data is checked by list -v, test and extract");
    } else if (seal.checked()) {
        complain(o.paths[0] +
                 u": names not verified (integrity record of version 1, which checks them with "
                 u"the files' data): list -v or test checks them");
    } else {
        complain(o.paths[0] + u": names not verified (" + uncheckedReason(unchecked) +
                 u"): the archive cannot be checked for changes");
    }
    std::u16string out;
    for (uint32_t i = 0; i < files.count(); ++i) {
        const FileEntry e = files.at(i);
        out += (o.verbose ? detailColumns(e) : u"") + shownName(e.name) + u"\n";
        // Written out now and then, so a table of many files is never held twice.
        if (out.size() > 65536) {
            print(Stream::kOut, out);
            out.clear();
        }
    }
    if (o.verbose) {
        const IntegrityState state = seal.checked() ? kIntegrityVerified : unchecked;
        out += u"integrity: " + integrityWords(state, keyed) + u"\n";
        out += keyWords(cipher) + u"\n";
    }
    print(Stream::kOut, out);
    return 0;
}
