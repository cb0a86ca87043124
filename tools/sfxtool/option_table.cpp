#include "tools/sfxtool/option_table.h"

namespace {

constexpr CommandInfo kCommands[] = {
    {u"create", kCreateCommand, u"PATH...", u"store files and folders in a new archive",
     u"Stores the named files, and folders with everything in them, under names relative to the "
     u"current folder (or to -C DIR), with each file's modification time and the folders that "
     u"hold no file (not with --no-metadata). The archive is a self-extracting Windows program "
     u"(.exe) "
     u"with the extractor built into sfxtool in front, or a plain encrypted archive (.tvf) with "
     u"--plain. Without -o it is named after the first PATH. A failed create leaves no partial "
     u"archive behind, and an archive already at the output path stays as it was. A "
     u"self-extracting archive can be signed as it is made (SIGNING). The password must be one "
     u"the recipient can type into the extractor: at most 63 characters, each one the ANSI code "
     u"page holds (Windows-1252 off Windows). One the password meter rejects is used after a "
     u"yes at the terminal, or given with -p or on standard input, with a warning."},
    {u"extract", kExtractCommand, u"ARCHIVE", u"unpack an archive",
     u"Unpacks the archive into the current folder, or into -d DIR, creating folders as needed, "
     u"the empty folders the archive keeps among them, and gives files the modification times "
     u"the archive keeps (archives made with --no-metadata, or by older versions, keep none: "
     u"such files get the time of extraction). "
     u"Files the destination already holds are replaced (the summary says how many), or kept "
     u"with --keep-existing. Nothing is put in place until the whole archive has been read and "
     u"verified: a run that fails or is interrupted leaves every file as it was. An archive "
     u"whose stored names would lead outside the destination is refused whole, before "
     u"anything is written, and so is one whose integrity record does not match. An archive "
     u"that cannot be checked for changes (older archives, without an integrity record) is "
     u"refused with exit status 6 unless --allow-unverified is given."},
    {u"list", kListCommand, u"ARCHIVE", u"show the names an archive holds",
     u"Shows the name of each file in the archive, one a line, once the names are checked "
     u"against the archive's integrity record (without reading the files' data); where they "
     u"cannot be checked, says so on standard error. With -v also each file's size, and, after "
     u"reading the whole archive, whether its integrity record verified."},
    {u"test", kTestCommand, u"ARCHIVE", u"check that an archive opens whole",
     u"Reads and decrypts everything in the archive and writes nothing, and checks the "
     u"integrity record archives carry: \"verified\", or, for an archive that cannot be "
     u"checked, exit status 6 unless --allow-unverified is given (then \"not verified\")."},
    {u"rate", kRateCommand, u"", u"rate passwords as the password dialog does",
     u"Rates passwords with the password dialog's meter: typed without echo at a terminal (an "
     u"empty one ends), or read one a line from standard input. For each it prints the score (0 "
     u"to 100, or a negative code when the password is refused), a tab and a short verdict. "
     u"Passwords are never taken from the command line."},
};

constexpr OptionInfo kOptions[] = {
    {u"-o", nullptr, u"ARCHIVE", kCreateCommand, OptionGroup::kCommand,
     u"write the archive to ARCHIVE (default: named after the first PATH)"},
    {u"--plain", nullptr, nullptr, kCreateCommand, OptionGroup::kCommand,
     u"write a plain encrypted archive (.tvf) instead of a self-extracting one"},
    {u"--no-integrity", nullptr, nullptr, kCreateCommand, OptionGroup::kCommand,
     u"leave out the integrity record: the classic archive, byte for byte as older versions "
     u"wrote it, whose damage or tampering readers cannot detect (and no times or empty "
     u"folders, which live in that record)"},
    {u"--no-metadata", nullptr, nullptr, kCreateCommand, OptionGroup::kCommand,
     u"keep no modification times and no folders without files: the integrity record as the "
     u"previous release wrote it, which its readers verify (by default the record also holds "
     u"each file's time and the empty folders, which those readers open only unverified)"},
    {u"--classic-key", nullptr, nullptr, kCreateCommand, OptionGroup::kCommand,
     u"derive the key as older readers do (one SHA-512 of the password, no salt) instead of "
     u"with Argon2id (64 MiB, 3 passes, 4 lanes, a salt of the archive's own): for recipients "
     u"whose readers predate hardened archives; far cheaper to guess"},
    {u"--stub", nullptr, u"FILE", kCreateCommand, OptionGroup::kCommand,
     u"put the extractor FILE in front instead of the one built in"},
    {u"-C", nullptr, u"DIR", kCreateCommand, OptionGroup::kCommand,
     u"find the PATHs in DIR and store their names relative to it"},
    {u"-d", nullptr, u"DIR", kExtractCommand, OptionGroup::kCommand,
     u"extract into DIR instead of the current folder"},
    {u"--allow-unverified", nullptr, nullptr, kExtractCommand | kTestCommand, OptionGroup::kCommand,
     u"go on with an archive that cannot be checked for changes (no integrity record, or one of "
     u"a later version), which is otherwise refused with exit status 6"},
    {u"--keep-existing", nullptr, nullptr, kExtractCommand, OptionGroup::kCommand,
     u"leave every file the destination already holds as it is, instead of replacing it, and "
     u"say how many were kept"},
    {u"-v", nullptr, nullptr, kListCommand, OptionGroup::kCommand,
     u"verbose: show each file's size before its name, and the archive's integrity"},
    {u"-q", nullptr, nullptr, kCreateCommand | kExtractCommand | kTestCommand,
     OptionGroup::kCommand, u"quiet: no progress and no summary, only errors and warnings"},
    {u"-p", nullptr, u"PASSWORD", kArchiveCommands, OptionGroup::kPassword,
     u"the password itself (other users may see it in the process list)"},
    {u"--password-stdin", nullptr, nullptr, kArchiveCommands, OptionGroup::kPassword,
     u"read the password from the first line of standard input"},
    {u"--no-password", nullptr, nullptr, kArchiveCommands, OptionGroup::kPassword,
     u"no encryption: create an archive without a key, or open one made so"},
    {u"--sign-cert", nullptr, u"CERT", kCreateCommand, OptionGroup::kSigning,
     u"sign the archive with this certificate (PEM or DER), with --sign-key"},
    {u"--sign-key", nullptr, u"KEY", kCreateCommand, OptionGroup::kSigning,
     u"the certificate's private key"},
    {u"--sign-pkcs12", nullptr, u"FILE", kCreateCommand, OptionGroup::kSigning,
     u"sign with the certificate and key this PKCS#12 file holds, instead"},
    {u"--sign-pass", nullptr, u"PASSWORD", kCreateCommand, OptionGroup::kSigning,
     u"the password of the key or of the PKCS#12 file"},
    {u"--sign-timestamp", nullptr, u"URL", kCreateCommand, OptionGroup::kSigning,
     u"add a timestamp from the server at URL"},
    {u"-h", u"--help", nullptr, kEveryCommand | kNoCommand, OptionGroup::kGeneral,
     u"show the help and exit"},
    {u"--version", nullptr, nullptr, kNoCommand, OptionGroup::kGeneral,
     u"show the version and exit"},
    {u"--", nullptr, nullptr, kArchiveCommands, OptionGroup::kGeneral,
     u"end of options: every later argument is a name, even one that starts with -"},
};

constexpr ExitStatusInfo kExitStatuses[] = {
    {0, u"success"},
    {1, u"wrong password"},
    {2, u"corrupt, or a file or archive could not be read"},
    {3, u"out of memory, or a password that gives no key"},
    {4, u"a file could not be written"},
    {5, u"signing failed: nothing is left at the output path"},
    {64, u"usage error"},
    {129, u"ended by a hang-up (SIGHUP, or the console closing)"},
    {130, u"interrupted (Ctrl-C, SIGINT): nothing left half-done"},
    {143, u"ended by SIGTERM: nothing left half-done"},
};

}  // namespace

std::span<const CommandInfo> commandTable() {
    return kCommands;
}

std::span<const OptionInfo> optionTable() {
    return kOptions;
}

std::span<const ExitStatusInfo> exitStatusTable() {
    return kExitStatuses;
}

const CommandInfo* findCommand(std::u16string_view name) {
    for (const CommandInfo& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

const OptionInfo* findOption(std::u16string_view name) {
    for (const OptionInfo& o : kOptions)
        if (name == o.name || (o.alias != nullptr && name == o.alias)) return &o;
    return nullptr;
}

std::u16string optionLabel(const OptionInfo& o) {
    std::u16string label = o.name;
    if (o.alias != nullptr) label += std::u16string(u", ") + o.alias;
    if (o.value != nullptr) label += std::u16string(u" ") + o.value;
    return label;
}

std::u16string synopsisOf(const CommandInfo& c) {
    std::u16string line = std::u16string(u"sfxtool ") + c.name;
    bool password = false, signing = false;
    for (const OptionInfo& o : kOptions) {
        if ((o.commands & c.bit) == 0) continue;
        password = password || o.group == OptionGroup::kPassword;
        signing = signing || o.group == OptionGroup::kSigning;
        if (o.group != OptionGroup::kCommand) continue;
        line += u" [" + optionLabel(o) + u"]";
    }
    if (password) line += u" [PASSWORD]";
    if (signing) line += u" [SIGNING]";
    if (*c.operands != 0) line += std::u16string(u" ") + c.operands;
    return line;
}
