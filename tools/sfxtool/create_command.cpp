// sfxtool create: gathers the named files and folders (input_walk.h), checks every stored name
// and the output up front, before the password is asked for, and runs the writer.
#include <fstream>
#include <string_view>
#include <vector>

#include "common/archive/archive_format.h"
#include "common/archive/file_table.h"
#include "common/archive/job_records.h"
#include "common/archive/name_clash.h"
#include "common/archive/stored_name.h"
#include "common/archive/visible_name.h"
#include "common/archive/wide_buf.h"
#include "common/support/localised_text.h"
#include "common/support/string_ids.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/embedded_stub.h"
#include "tools/sfxtool/formatted.h"
#include "tools/sfxtool/input_walk.h"
#include "tools/sfxtool/interrupts.h"
#include "tools/sfxtool/output_path.h"
#include "tools/sfxtool/path_forms.h"
#include "tools/sfxtool/sign_archive.h"
#include "tools/sfxtool/terminal_progress.h"

namespace {

// The stored names, of the files and then of the empty folders: each must be one the reader
// accepts, and no two may be one entry on Windows (the reader refuses such an archive whole).
bool checkNames(const Options& o, const GatheredNames& listed, const GatheredNames& folders) {
    FileTable stored;
    bool toldCut = false;
    const auto nameAt = [&](std::size_t i) {
        return i < listed.size() ? listed.at(i) : folders.at(i - listed.size());
    };
    for (std::size_t i = 0; i < listed.size() + folders.size(); ++i) {
        const std::u16string name(nameAt(i));
        const std::size_t joined =
            o.baseFolder.empty() ? name.size() : o.baseFolder.size() + 1 + name.size();
        if (joined > kMaxPathChars) {
            complain(u"'" + shownName(name) +
                     u"' is too long: a path holds at most 259 characters");
            return false;
        }
        char16_t form[kMaxNameChars + 1];
        bool cut = false;
        const uint32_t chars = storedNameFor(name.c_str(), form, kMaxNameChars + 1, &cut);
        if (!isSafeStoredName(form, chars)) {
            complain(u"'" + shownName(name) +
                     u"' cannot be stored: the name is not one every system can extract");
            return false;
        }
        uint32_t invisible = 0;
        if (findInvisible(form, chars, invisible) < chars) {
            char16_t label[9];
            codePointLabel(invisible, label);
            complain(u"'" + shownName(name) +
                     u"' cannot be stored: the name holds an invisible formatting character (" +
                     label + u")");
            return false;
        }
        if (cut && !toldCut) {
            complain(u"leading folders, drives and '..' are left out of the stored names");
            toldCut = true;
        }
        if (!stored.add(form, chars, 0)) {
            complain(u"out of memory");
            return false;
        }
    }
    NameClash clash;
    if (findNameClash(stored, clash) == ClashCheck::kClash) {
        const std::u16string a = shownName(std::u16string(nameAt(clash.first)));
        const std::u16string b = shownName(std::u16string(nameAt(clash.second)));
        complain(clash.folder ? u"'" + a + u"' and '" + b +
                                    u"' cannot both be stored: one would be a folder of the other"
                              : u"'" + a + u"' and '" + b +
                                    u"' would be stored under the same name (Windows ignores "
                                    u"case)");
        return false;
    }
    return true;
}

// Name `index` of the list the writer holds.
std::u16string listedName(const ArchiveWriter& writer, uint32_t index) {
    uint32_t at = 0;
    const char16_t* name = nullptr;
    for (uint32_t i = 0; i <= index; ++i) name = listedNameAt(writer.fileList, at);
    return name != nullptr ? name : u"";
}

bool readWhole(const std::u16string& file, std::vector<uint8_t>& bytes) {
    std::ifstream in(pathOf(file), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int runCreate(Options& o) {
    GatheredNames listed;
    GatheredNames folders;
    LeftOut leftOut;
    if (const int status = gatherInputs(o, listed, folders, leftOut); status != 0) return status;
    if (!checkNames(o, listed, folders)) return kExitUsage;
    const std::u16string output = o.output.empty() ? defaultOutput(o, !o.plain) : o.output;
    if (const int status = checkOutput(o, output, listed); status != 0) return status;

    std::vector<uint8_t> stub;
    if (!o.plain) {
        if (!o.stubFile.empty()) {
            if (!readWhole(o.stubFile, stub) || stub.empty()) {
                complain(u"cannot read the extractor '" + o.stubFile + u"'");
                return 2;
            }
        } else if (!embeddedStub(stub)) {
            complain(
                u"no extractor is built into this sfxtool: use --plain for a .tvf archive, "
                u"or --stub FILE");
            return kExitUsage;
        }
    }

    SecretText password;
    if (const int status = obtainPassword(o, true, password); status != 0) return status;

    // The writer keeps its own copy of the list, the names in list order; from here on they are
    // held only there.
    const uint32_t count = static_cast<uint32_t>(listed.size());
    std::u16string list = listed.inOrder();
    listed.release();
    // An archive to be signed is written beside the output and moved there once signed.
    const std::u16string written = o.signing() ? unsignedPathFor(output) : output;

    ArchiveWriter writer;
    writer.configure(nullptr, o.baseFolder.c_str(), written.c_str(), list.data(),
                     static_cast<uint32_t>(list.size()), count);
    std::u16string().swap(list);
    if (!stub.empty()) writer.stubImage = {stub.data(), static_cast<uint32_t>(stub.size())};
    writer.strictList = true;
    writer.integrity = !o.noIntegrity;
    writer.metadata = !o.noMetadata && !o.noIntegrity;
    const uint32_t folderCount = writer.metadata ? static_cast<uint32_t>(folders.size()) : 0;
    if (writer.metadata) {
        std::u16string folderList = folders.inOrder();
        writer.setFolders(folderList.data(), static_cast<uint32_t>(folderList.size()));
    }
    folders.release();
    // A password that gives no key (out of memory, or nothing left once converted) must not
    // leave an archive written in the clear as if it were keyed.
    TerminalProgress progress(isTerminal(Stream::kErr) && !o.quiet);
    // Hardened unless asked otherwise: the derivation takes up to a second, said on the
    // progress line while it runs.
    const bool hardened = !o.classicKey && !password.empty();
    if (hardened && progress.hasStatus()) progress.showStatus(u"deriving the key (Argon2id)");
    // Caught from here, so that a signal during the derivation ends the run as one during the
    // writing does: said in one line, nothing made.
    catchInterrupts();
    const bool keyed =
        password.empty() || (hardened ? writer.setHardenedPassword(password.text().c_str())
                                      : writer.setPassword(password.text().c_str()));
    if (!keyed) {
        complain(std::u16string(loadText(kStrArchiveNotCreated)) +
                 u" The password could not be made into a key.");
        return kExitNoKey;
    }
    password.wipe();
    const std::u16string untouched =
        u"no archive was made, and nothing at " + output + u" was changed";
    if (interrupted()) {
        progress.finish(false);
        return reportInterrupt(untouched);
    }
    writer.bindProgress(&progress);
    writer.run();
    progress.finish(writer.writeResult == kWriteOk);
    // An interrupted writer removed its temporary; an archive to be signed is not signed.
    if (interrupted() && (writer.writeResult != kWriteOk || o.signing())) {
        if (writer.writeResult == kWriteOk) deleteFile(written.c_str());
        return reportInterrupt(untouched);
    }

    switch (writer.writeResult) {
        case kWriteOk:
            if (o.signing()) {
                const int signedStatus =
                    signArchive(o, written, output, writer.cipher, writer.fileCount);
                if (signedStatus != 0 && interrupted()) return reportInterrupt(untouched);
                if (signedStatus != 0) return signedStatus;
            }
            if (o.quiet) return 0;
            print(Stream::kOut,
                  formatted(u"created %s: %u file(s)", output.c_str(),
                            static_cast<unsigned>(writer.fileCount)) +
                      (folderCount > 0
                           ? formatted(u", %u empty folder(s)", static_cast<unsigned>(folderCount))
                           : u"") +
                      (leftOut.any() ? u"; not stored: " + leftOut.summary() : u"") + u"\n");
            return 0;
        case kWriteReadFailed:
            if (writer.failedName < count) {
                complain(std::u16string(loadText(kStrArchiveNotCreated)) + u" " +
                         shownName(listedName(writer, writer.failedName)) + u": " +
                         systemReason(writer.failedError));
            } else {
                complain(std::u16string(loadText(kStrArchiveNotCreated)) +
                         u" A file could not be read whole.");
            }
            return 2;
        case kWriteCannotCreate:
            complain(std::u16string(loadText(kStrArchiveNotCreated)) + u" '" + output +
                     u"' could not be created.");
            return 4;
        default:
            complain(std::u16string(loadText(kStrArchiveNotCreated)) +
                     u" Writing it failed (is the disk full?).");
            return 4;
    }
}
