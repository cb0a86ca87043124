#include "tools/sfxtool/output_path.h"

#include <filesystem>
#include <system_error>

#include "tools/sfxtool/access_probe.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/path_forms.h"

namespace fs = std::filesystem;

namespace {

// Whether the output path names one of the files to be stored: writing the archive would
// replace it with the archive of itself.
bool outputIsInput(const Options& o, const fs::path& out, const GatheredNames& listed) {
    std::error_code ec;
    const fs::path base = o.baseFolder.empty() ? fs::path() : pathOf(o.baseFolder);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const std::u16string name(listed.at(i));
        const fs::path in = base.empty() ? pathOf(name) : base / pathOf(name);
        if (fs::equivalent(out, in, ec)) return true;
    }
    return false;
}

}  // namespace

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

int checkOutput(const Options& o, const std::u16string& output, const GatheredNames& listed) {
    const fs::path out = pathOf(output);
    std::error_code ec;
    const fs::file_status st = fs::status(out, ec);
    if (fs::is_directory(st)) {
        complain(output + u": " + reasonOf(std::make_error_code(std::errc::is_a_directory)));
        return 4;
    }
    if (fs::exists(st) && outputIsInput(o, out, listed)) {
        complain(u"the output '" + output + u"' is one of the files to store");
        return kExitUsage;
    }
    // The archive is written beside its path and moved there: the folder must take new files.
    const fs::path folder = out.parent_path();
    if (!folder.empty()) {
        const fs::file_status fst = fs::status(folder, ec);
        if (!fs::exists(fst)) {
            complain(
                output + u": " +
                reasonOf(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory)));
            return 4;
        }
        if (!fs::is_directory(fst)) {
            complain(output + u": " + reasonOf(std::make_error_code(std::errc::not_a_directory)));
            return 4;
        }
    }
    if (const uint32_t error = createProblem(folder); error != 0) {
        complain(output + u": " + systemReason(error));
        return 4;
    }
    return 0;
}
