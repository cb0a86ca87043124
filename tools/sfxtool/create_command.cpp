// sfxtool create: gathers the named files and folders (folders recursively, in a fixed order so
// every build writes the same archive), checks every stored name up front, and runs the writer.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/archive/archive_format.h"
#include "common/archive/file_table.h"
#include "common/archive/job_records.h"
#include "common/archive/name_clash.h"
#include "common/archive/stored_name.h"
#include "common/archive/wide_buf.h"
#include "common/support/localised_text.h"
#include "common/support/string_ids.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/embedded_stub.h"
#include "tools/sfxtool/formatted.h"
#include "tools/sfxtool/sign_archive.h"
#include "tools/sfxtool/terminal_progress.h"

namespace fs = std::filesystem;

namespace {

std::u16string withBackslashes(std::u16string s) {
    std::replace(s.begin(), s.end(), u'/', u'\\');
    return s;
}

fs::path pathOf(const std::u16string& enginePath) {
    std::u16string p = enginePath;
#ifndef _WIN32
    std::replace(p.begin(), p.end(), u'\\', u'/');
#endif
    return fs::path(p);
}

// A path the folder walk reached below `folder`, relative to it. The walk builds each path as
// the folder's followed by names, so cutting the folder's off is enough: asking the system
// (std::filesystem::relative) resolves every component of both paths, for every file.
std::u16string relativeTo(const fs::path& folder, const fs::path& inside) {
    const std::u16string whole = inside.u16string();
    std::size_t at = folder.u16string().size();
    while (at < whole.size() && (whole[at] == u'/' || whole[at] == u'\\')) ++at;
    return whole.substr(at);
}

// The names create gathers: one text of names, each ended by a zero, and where each starts, in
// list order (the text holds a folder's names in the order the walk met them, and its starts
// are sorted). A name costs its characters and four bytes, so 200,000 files cost a few MiB,
// where a vector of strings would cost four times that.
struct GatheredNames {
    std::u16string text;
    std::vector<uint32_t> starts;

    std::size_t size() const { return starts.size(); }
    std::u16string_view at(std::size_t i) const {
        return std::u16string_view(text.c_str() + starts[i]);
    }
    void add(std::u16string_view name) {
        starts.push_back(static_cast<uint32_t>(text.size()));
        text.append(name);
        text.push_back(u'\0');
    }
    // Gives the memory back (assigning an empty one would keep the text's storage).
    void release() {
        std::u16string().swap(text);
        std::vector<uint32_t>().swap(starts);
    }
    // The names in list order as the writer takes them: each ended by a zero, an empty name
    // after the last.
    std::u16string inOrder() const {
        std::u16string list;
        list.reserve(text.size() + 1);
        for (std::size_t i = 0; i < size(); ++i) {
            list.append(at(i));
            list.push_back(u'\0');
        }
        list.push_back(u'\0');
        return list;
    }
};

// Every file the arguments name, as names relative to the base folder.
bool gather(const Options& o, GatheredNames& listed) {
    const fs::path base = o.baseFolder.empty() ? fs::path() : pathOf(o.baseFolder);
    for (const std::u16string& arg : o.paths) {
        const fs::path full = base.empty() ? pathOf(arg) : base / pathOf(arg);
        std::error_code ec;
        const fs::file_status st = fs::status(full, ec);
        if (fs::is_directory(st)) {
            // The folder's names in walk order, then their starts sorted, so every build
            // writes the same archive. Sorting the starts rather than copying the names keeps
            // one copy of them.
            const std::size_t first = listed.size();
            std::u16string prefix = withBackslashes(arg);
            while (!prefix.empty() && prefix.back() == u'\\') prefix.pop_back();
            if (!prefix.empty()) prefix += u'\\';
            for (fs::recursive_directory_iterator it(full, ec), end; !ec && it != end;
                 it.increment(ec)) {
                if (!it->is_regular_file(ec)) continue;
                listed.add(prefix + withBackslashes(relativeTo(full, it->path())));
            }
            if (ec) {
                complain(u"cannot read the folder '" + arg + u"'");
                return false;
            }
            const char16_t* names = listed.text.c_str();
            std::sort(listed.starts.begin() + static_cast<std::ptrdiff_t>(first),
                      listed.starts.end(), [names](uint32_t a, uint32_t b) {
                          return std::u16string_view(names + a) < std::u16string_view(names + b);
                      });
        } else if (fs::is_regular_file(st)) {
            listed.add(withBackslashes(arg));
        } else {
            complain(u"cannot read '" + arg + u"': no such file or folder");
            return false;
        }
    }
    if (listed.size() == 0) {
        complain(u"the folders named hold no files");
        return false;
    }
    return true;
}

// The stored names: each must be one the reader accepts, and no two may be one file on Windows
// (the reader refuses such an archive whole).
bool checkNames(const Options& o, const GatheredNames& listed) {
    FileTable stored;
    bool toldCut = false;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const std::u16string name(listed.at(i));
        const std::size_t joined =
            o.baseFolder.empty() ? name.size() : o.baseFolder.size() + 1 + name.size();
        if (joined > kMaxPathChars) {
            complain(u"'" + name + u"' is too long: a path holds at most 259 characters");
            return false;
        }
        char16_t form[kMaxNameChars + 1];
        bool cut = false;
        const uint32_t chars = storedNameFor(name.c_str(), form, kMaxNameChars + 1, &cut);
        if (!isSafeStoredName(form, chars)) {
            complain(u"'" + name +
                     u"' cannot be stored: the name is not one every system can extract");
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
        const std::u16string a(listed.at(clash.first));
        const std::u16string b(listed.at(clash.second));
        complain(clash.folder ? u"'" + a + u"' and '" + b +
                                    u"' cannot both be stored: one would be a folder of the other"
                              : u"'" + a + u"' and '" + b +
                                    u"' would be stored under the same name (Windows ignores "
                                    u"case)");
        return false;
    }
    return true;
}

// Whether the output path names one of the files to be stored: writing the archive would
// replace it with the archive of itself.
bool outputIsInput(const Options& o, const std::u16string& output, const GatheredNames& listed) {
    std::error_code ec;
    const fs::path out = pathOf(output);
    if (!fs::exists(out, ec)) return false;
    const fs::path base = o.baseFolder.empty() ? fs::path() : pathOf(o.baseFolder);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const std::u16string name(listed.at(i));
        const fs::path in = base.empty() ? pathOf(name) : base / pathOf(name);
        if (fs::equivalent(out, in, ec)) {
            complain(u"the output '" + output + u"' is one of the files to store");
            return true;
        }
    }
    return false;
}

std::u16string defaultOutput(const Options& o, bool stub) {
    fs::path first =
        o.baseFolder.empty() ? pathOf(o.paths[0]) : pathOf(o.baseFolder) / pathOf(o.paths[0]);
    std::error_code ec;
    fs::path absolute = fs::absolute(first, ec).lexically_normal();
    std::u16string name = absolute.filename().u16string();
    if (name.empty()) name = absolute.parent_path().filename().u16string();
    if (name.empty() || name == u"." || name == u"..") name = u"archive";
    if (!fs::is_directory(first, ec)) {
        const std::size_t dot = name.rfind(u'.');
        if (dot != std::u16string::npos && dot > 0) name.erase(dot);
    }
    return name + (stub ? u".exe" : u".tvf");
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
    if (!gather(o, listed)) return 2;
    if (!checkNames(o, listed)) return kExitUsage;

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

    const std::u16string output = o.output.empty() ? defaultOutput(o, !o.plain) : o.output;
    if (outputIsInput(o, output, listed)) return kExitUsage;
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
    // A password that gives no key (out of memory, or nothing left once converted) must not
    // leave an archive written in the clear as if it were keyed.
    TerminalProgress progress(isTerminal(Stream::kErr) && !o.quiet);
    // Hardened unless asked otherwise: the derivation takes up to a second, said on the
    // progress line while it runs.
    const bool hardened = !o.classicKey && !password.empty();
    if (hardened && progress.hasStatus()) progress.showStatus(u"deriving the key (Argon2id)");
    const bool keyed =
        password.empty() || (hardened ? writer.setHardenedPassword(password.text().c_str())
                                      : writer.setPassword(password.text().c_str()));
    if (!keyed) {
        complain(std::u16string(loadText(kStrArchiveNotCreated)) +
                 u" The password could not be made into a key.");
        return kExitNoKey;
    }
    password.wipe();
    writer.bindProgress(&progress);
    writer.run();
    progress.finish();

    switch (writer.writeResult) {
        case kWriteOk:
            if (o.signing()) {
                const int signedStatus =
                    signArchive(o, written, output, writer.cipher, writer.fileCount);
                if (signedStatus != 0) return signedStatus;
            }
            if (o.quiet) return 0;
            print(Stream::kOut, formatted(u"created %s: %u file(s)\n", output.c_str(),
                                          static_cast<unsigned>(writer.fileCount)));
            return 0;
        case kWriteReadFailed:
            if (writer.failedName < count) {
                complain(std::u16string(loadText(kStrArchiveNotCreated)) + u" " +
                         listedName(writer, writer.failedName) + u": " +
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
