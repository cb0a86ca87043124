#include "tools/sfxtool/input_walk.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "tools/sfxtool/access_probe.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/formatted.h"
#include "tools/sfxtool/path_forms.h"

namespace fs = std::filesystem;

namespace {

// "1 empty folder" or "2 links".
std::u16string counted(uint32_t n, const char16_t* one, const char16_t* many) {
    return formatted(u"%u %s", static_cast<unsigned>(n), n == 1 ? one : many);
}

class Walk {
  public:
    // `folders`: where folders without files go, or null when the archive keeps none.
    Walk(GatheredNames& listed, GatheredNames* folders, LeftOut& leftOut)
        : listed_(listed), folders_(folders), leftOut_(leftOut) {}

    // A file named or met: stored when it can be read. False after saying why not.
    bool file(const fs::path& path, const std::u16string& stored) {
        if (const uint32_t error = readProblem(path); error != 0) {
            complain(shownName(stored) + u": " + systemReason(error));
            return false;
        }
        listed_.add(stored);
        return true;
    }

    // Every file below the folder `top`, which the user named `named`, stored under `prefix`
    // (the folder's stored name and a backslash). False after naming a folder that cannot be
    // listed, or a file that cannot be read.
    bool folder(const fs::path& top, const std::u16string& named, const std::u16string& prefix);

  private:
    struct Pending {
        fs::path path;
        std::u16string stored;  // the folder's stored name and a backslash
    };

    // Names what is not stored, and why, on standard error (with -q too: it is lost).
    void leaveOut(const std::u16string& shown, const std::u16string& why, uint32_t& count) {
        complain(shown + u": " + why);
        ++count;
    }

    // One entry of a folder; true when it holds something the archive keeps (a file, or a
    // folder, which is walked in its turn).
    bool entry(const fs::directory_entry& e, const std::u16string& stored,
               std::vector<Pending>& pending, bool& failed);

    GatheredNames& listed_;
    GatheredNames* folders_;
    LeftOut& leftOut_;
};

bool Walk::entry(const fs::directory_entry& e, const std::u16string& stored,
                 std::vector<Pending>& pending, bool& failed) {
    std::error_code ec;
    // What the folder listing said the entry is, without a look of its own where it said
    // (asking for the entry's status would cost a call per file).
    if (!e.is_symlink(ec)) {
        if (e.is_directory(ec)) {
            pending.push_back({e.path(), stored + u'\\'});
            return true;
        }
        if (e.is_regular_file(ec)) {
            failed = !file(e.path(), stored);
            return true;
        }
        leaveOut(shownName(stored), u"not stored: not a file (a pipe, socket or device)",
                 leftOut_.others);
        return false;
    }
    // A link to a file is stored as that file; one to a folder is not followed (it could lead
    // back up, or anywhere on the system).
    const fs::file_status target = fs::status(e.path(), ec);
    if (fs::is_regular_file(target)) {
        failed = !file(e.path(), stored);
        return true;
    }
    if (fs::is_directory(target)) {
        leaveOut(shownName(stored),
                 u"link to a folder not stored (links are not followed into folders)",
                 leftOut_.links);
    } else if (ec) {
        leaveOut(shownName(stored), u"link not stored: " + reasonOf(ec), leftOut_.links);
    } else {
        leaveOut(shownName(stored), u"link not stored: it leads to something that is not a file",
                 leftOut_.links);
    }
    return false;
}

bool Walk::folder(const fs::path& top, const std::u16string& named, const std::u16string& prefix) {
    std::vector<Pending> pending;
    pending.push_back({top, prefix});
    while (!pending.empty()) {
        const Pending here = std::move(pending.back());
        pending.pop_back();
        // The folder as the user knows it: as named, or its stored name without the backslash.
        const std::u16string shown = here.stored == prefix
                                         ? named
                                         : shownName(here.stored.substr(0, here.stored.size() - 1));
        std::error_code ec;
        bool holds = false;
        for (fs::directory_iterator it(here.path, ec), end; !ec && it != end; it.increment(ec)) {
            bool failed = false;
            const std::u16string name = it->path().filename().u16string();
            if (entry(*it, here.stored + name, pending, failed)) holds = true;
            if (failed) return false;
        }
        if (ec) {
            complain(shown + u": " + reasonOf(ec));
            return false;
        }
        // A folder comes back as the folder of a file in it, or of a folder below it (which is
        // named in its turn if it holds none), or, holding nothing, as an entry of its own in the
        // archive's metadata. The current folder named as "." has no name to be stored under.
        if (!holds) {
            if (folders_ != nullptr && here.stored.size() > 1) {
                folders_->add(std::u16string_view(here.stored).substr(0, here.stored.size() - 1));
            } else {
                leaveOut(shown,
                         folders_ != nullptr
                             ? u"folder without files not stored (it has no name of its own)"
                             : u"folder without files not stored (kept only with the metadata "
                               u"record)",
                         leftOut_.emptyFolders);
            }
        }
    }
    return true;
}

}  // namespace

std::u16string GatheredNames::inOrder() const {
    std::u16string list;
    list.reserve(text.size() + 1);
    for (std::size_t i = 0; i < size(); ++i) {
        list.append(at(i));
        list.push_back(u'\0');
    }
    list.push_back(u'\0');
    return list;
}

std::u16string LeftOut::summary() const {
    std::u16string out;
    const auto add = [&out](const std::u16string& part) {
        out += (out.empty() ? u"" : u", ") + part;
    };
    if (emptyFolders > 0)
        add(counted(emptyFolders, u"folder without files", u"folders without files"));
    if (links > 0) add(counted(links, u"link", u"links"));
    if (others > 0) add(counted(others, u"other entry", u"other entries"));
    return out;
}

int gatherInputs(const Options& o, GatheredNames& listed, GatheredNames& folders,
                 LeftOut& leftOut) {
    const fs::path base = o.baseFolder.empty() ? fs::path() : pathOf(o.baseFolder);
    Walk walk(listed, o.noMetadata || o.noIntegrity ? nullptr : &folders, leftOut);
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
            if (!walk.folder(full, arg, prefix)) return 2;
            const char16_t* names = listed.text.c_str();
            std::sort(listed.starts.begin() + static_cast<std::ptrdiff_t>(first),
                      listed.starts.end(), [names](uint32_t a, uint32_t b) {
                          return std::u16string_view(names + a) < std::u16string_view(names + b);
                      });
        } else if (fs::is_regular_file(st)) {
            if (!walk.file(full, withBackslashes(arg))) return 2;
        } else if (ec) {
            complain(arg + u": " + reasonOf(ec));
            return 2;
        } else {
            complain(arg + u": not a file or folder (a pipe, socket or device)");
            return 2;
        }
    }
    if (listed.size() == 0) {
        complain(u"the folders named hold no files");
        return 2;
    }
    // The empty folders in one sorted order, so every build writes the same archive.
    const char16_t* names = folders.text.c_str();
    std::sort(folders.starts.begin(), folders.starts.end(), [names](uint32_t a, uint32_t b) {
        return std::u16string_view(names + a) < std::u16string_view(names + b);
    });
    return 0;
}
