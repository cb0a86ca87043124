// Feeds arbitrary bytes to the reader as an archive, as a stranger's download would arrive. The
// reader must never crash, never trip a sanitizer, never ask for memory an archive merely claims
// (the run sets a malloc limit), and never create anything outside the folder it extracts into:
// the archive and the destination sit three levels down a private tree, and after every input
// the whole tree is checked, so a file written above the destination, even two levels up, is
// seen.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/archive/job_records.h"
#include "common/support/utf8.h"

namespace fs = std::filesystem;

namespace {

const fs::path& workFolder() {
    static const fs::path folder = [] {
        const char* shm = "/dev/shm";
        fs::path base = fs::is_directory(shm) ? fs::path(shm) : fs::temp_directory_path();
        fs::path p = base / ("quillon-fuzz-" + std::to_string(getpid()));
        fs::create_directories(p / "a" / "b" / "c");
        return p;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path& root = workFolder();
    const fs::path work = root / "a" / "b" / "c";
    const fs::path archive = work / "archive";
    const fs::path out = work / "out";
    {
        std::ofstream f(archive, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ArchiveReader reader;
    const std::u16string a = wideFromUtf8(archive.string());
    const std::u16string d = wideFromUtf8(out.string());
    reader.configure(nullptr, d.c_str(), a.c_str());
    // Most inputs are read without a key, where every byte of the layout is the attacker's; a
    // few with one, as the seeds that were written with it expect.
    if (size > 0 && (data[size - 1] & 7) == 0) reader.setPassword(u"fuzz");
    reader.run();

    // Nothing may appear anywhere in the tree but its three folders, the archive and what is
    // inside the destination.
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path& p = it->path();
        if (p == out) {
            it.disable_recursion_pending();
            continue;
        }
        if (p == archive || p == root / "a" || p == root / "a" / "b" || p == work) continue;
        std::fprintf(stderr, "created outside the destination: %s\n", p.c_str());
        std::abort();
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    return 0;
}
