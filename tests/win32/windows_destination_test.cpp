// Extraction into a destination as Windows really has it: files marked read-only, files another
// program holds open, short (8.3) names that reach a file under a name not its own, paths longer
// than 259 characters, and the system folder that a 32-bit program is sent away from. After
// every refused or failed run the destination must hold exactly what it held before, with no
// ~qs name left; after every successful one, each file of the archive where its name says.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/archive/extraction_commit.h"
#include "common/archive/job_records.h"
#include "common/support/native_path.h"
#include "tests/support/archive_builder.h"
#include "tests/support/temp_folder.h"

namespace {

std::wstring w(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

// Paths of any length, in the \\?\ form, so the checks never depend on what they check.
std::wstring longForm(const std::wstring& path) {
    return path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\" + path;
}

void put(const std::wstring& path, const std::string& content, DWORD attributes = 0) {
    const HANDLE f = CreateFileW(longForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD done = 0;
    WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    CloseHandle(f);
    if (attributes != 0) SetFileAttributesW(longForm(path).c_str(), attributes);
}

// The contents of a file, or "(absent)".
std::string get(const std::wstring& path) {
    const HANDLE f = CreateFileW(longForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "(absent)";
    std::string s(1 << 16, '\0');
    DWORD done = 0;
    ReadFile(f, s.data(), static_cast<DWORD>(s.size()), &done, nullptr);
    CloseHandle(f);
    s.resize(done);
    return s;
}

// Everything in a folder and below, by relative path: files with their contents and whether
// they are read-only, folders with a slash. Names are as the listing gives them (long names).
using Tree = std::map<std::wstring, std::string>;
void walk(const std::wstring& root, const std::wstring& rel, Tree& out) {
    WIN32_FIND_DATAW found;
    const std::wstring here = rel.empty() ? root : root + L"\\" + rel;
    const HANDLE find = FindFirstFileW(longForm(here + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = rel.empty() ? name : rel + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[path + L"\\"] = "";
            walk(root, path, out);
        } else {
            out[path] = get(root + L"\\" + path) +
                        (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY ? " [read-only]" : "");
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}
Tree snapshot(const std::wstring& root) {
    Tree t;
    walk(root, L"", t);
    return t;
}

// Removes a folder and everything in it, however long its paths.
void removeTree(const std::wstring& root) {
    for (const auto& [path, content] : snapshot(root)) {
        if (path.back() != L'\\') {
            SetFileAttributesW(longForm(root + L"\\" + path).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(longForm(root + L"\\" + path).c_str());
        }
    }
    Tree folders = snapshot(root);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        RemoveDirectoryW(longForm(root + L"\\" + it->first).c_str());
    }
    RemoveDirectoryW(longForm(root).c_str());
}

bool anyTemporary(const Tree& t) {
    for (const auto& [path, content] : t) {
        const size_t leaf = path.find_last_of(L'\\', path.size() - 2);
        if (path.compare(leaf == std::wstring::npos ? 0 : leaf + 1, 3, L"~qs") == 0) return true;
    }
    return false;
}

struct Outcome {
    ExtractResult result = kExtractOk;
    uint32_t failedFile = UINT32_MAX;
    uint32_t failedError = 0;
    TargetRefusal refusal = kNotRefused;
};

struct Case {
    TempFolder dir;
    std::u16string archive = dir.path() + u"\\archive.tvf";
    std::wstring dest = w(dir.path()) + L"\\dest";

    Case() { CreateDirectoryW(dest.c_str(), nullptr); }

    void make(const std::vector<StoredFile>& files) {
        const auto image = buildImage(files, u"pw", "");
        put(w(archive), std::string(reinterpret_cast<const char*>(image.data()), image.size()));
    }

    Outcome extract(const std::wstring& into = L"") {
        ArchiveReader r;
        const std::wstring d = into.empty() ? dest : into;
        const std::u16string d16(d.begin(), d.end());
        r.configure(nullptr, d16.c_str(), archive.c_str());
        r.unverified = kUnverifiedAllow;  // the images here carry no integrity record
        EXPECT_TRUE(r.setPassword(u"pw"));
        r.run();
        return {r.result, r.failedFile, r.failedError, r.failedRefusal};
    }
};

// The short name Windows gives `longName` in a folder of this volume, or empty when it gives
// none (short names turned off).
std::wstring shortNameOf(const std::wstring& folder, const std::wstring& longName) {
    const std::wstring probe = folder + L"\\" + longName;
    put(probe, "probe");
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(probe.c_str(), shortPath, MAX_PATH);
    DeleteFileW(probe.c_str());
    if (n == 0 || n >= MAX_PATH) return L"";
    const std::wstring s = shortPath;
    const std::wstring leaf = s.substr(s.find_last_of(L'\\') + 1);
    return _wcsicmp(leaf.c_str(), longName.c_str()) == 0 ? L"" : leaf;
}

std::u16string u(const std::wstring& s) {
    return std::u16string(s.begin(), s.end());
}

// A file the user marked read-only is refused at the first look, before anything is renamed:
// it keeps its contents and its mark, the other files of the archive do not arrive, and no old
// copy of it is left beside it.
TEST(WindowsDestination, AReadOnlyFileIsRefusedAndLeftAsItWas) {
    Case c;
    c.make({{u"new.txt", "new"}, {u"locked.txt", "replaced"}});
    put(c.dest + L"\\locked.txt", "the user's own", FILE_ATTRIBUTE_READONLY);
    const Tree before = snapshot(c.dest);
    const Outcome run = c.extract();
    EXPECT_EQ(run.result, kWriteError);
    EXPECT_EQ(run.failedFile, 1u);
    EXPECT_EQ(run.refusal, kRefusedReadOnly);
    EXPECT_EQ(snapshot(c.dest), before);
    EXPECT_EQ(lastLeftBehind().count, 0u);
}

// Keeping the files that stand (sfxtool --keep-existing), a read-only one or one held open is
// simply kept, and the rest of the archive arrives.
TEST(WindowsDestination, KeepingExistingFilesKeepsReadOnlyAndHeldOnesAsTheyAre) {
    Case c;
    c.make({{u"new.txt", "new"}, {u"locked.txt", "replaced"}, {u"held.txt", "replaced"}});
    put(c.dest + L"\\locked.txt", "the user's own", FILE_ATTRIBUTE_READONLY);
    put(c.dest + L"\\held.txt", "held open");
    const HANDLE holder =
        CreateFileW((c.dest + L"\\held.txt").c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    keepExistingFiles(true);
    const Outcome run = c.extract();
    keepExistingFiles(false);
    CloseHandle(holder);
    EXPECT_EQ(run.result, kExtractOk) << run.failedError;
    EXPECT_EQ(snapshot(c.dest), (Tree{{L"held.txt", "held open"},
                                      {L"locked.txt", "the user's own [read-only]"},
                                      {L"new.txt", "new"}}));
    EXPECT_EQ(lastCommitCounts().kept, 2u);
}

// A file another program holds open (without letting it be deleted) cannot be replaced: the
// run fails with the system's reason, before any file was renamed, and leaves nothing behind.
TEST(WindowsDestination, AFileHeldOpenFailsTheRunWithEverythingAsItWas) {
    Case c;
    c.make({{u"first.txt", "new first"}, {u"held.txt", "new held"}});
    put(c.dest + L"\\first.txt", "old first");
    put(c.dest + L"\\held.txt", "old held");
    const Tree before = snapshot(c.dest);
    const HANDLE holder =
        CreateFileW((c.dest + L"\\held.txt").c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const Outcome run = c.extract();
    CloseHandle(holder);
    EXPECT_EQ(run.result, kWriteError);
    EXPECT_EQ(run.failedFile, 1u);
    EXPECT_EQ(run.failedError, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(snapshot(c.dest), before);
    EXPECT_FALSE(anyTemporary(snapshot(c.dest)));
    EXPECT_EQ(lastLeftBehind().count, 0u);
}

// A stored name that is the short name of a file the user has reaches that file: it is refused
// as a name that is not the file's own, and the file stays as it was.
TEST(WindowsDestination, AShortNameNeverReplacesTheFileItAbbreviates) {
    Case c;
    const std::wstring alias = shortNameOf(c.dest, L"Program Files.txt");
    if (alias.empty()) GTEST_SKIP() << "this volume gives no short names";
    c.make({{u"other.txt", "x"}, {u(alias), "over the user's file"}});
    put(c.dest + L"\\Program Files.txt", "the user's own");
    const Tree before = snapshot(c.dest);
    const Outcome run = c.extract();
    EXPECT_EQ(run.result, kWriteError);
    EXPECT_EQ(run.refusal, kRefusedOtherName);
    EXPECT_EQ(snapshot(c.dest), before);

    // The same for a folder: an existing folder reached through its short name.
    Case d;
    const std::wstring folderAlias = shortNameOf(d.dest, L"Long Folder Name");
    ASSERT_FALSE(folderAlias.empty());
    CreateDirectoryW((d.dest + L"\\Long Folder Name").c_str(), nullptr);
    put(d.dest + L"\\Long Folder Name\\a.txt", "the user's own");
    d.make({{u(folderAlias + L"\\a.txt"), "over the user's file"}});
    const Tree folderBefore = snapshot(d.dest);
    EXPECT_EQ(d.extract().refusal, kRefusedOtherName);
    EXPECT_EQ(snapshot(d.dest), folderBefore);
}

// Two files of one archive, one named as the short name Windows gives the other once it is in
// place: either the run is refused with the destination as it was, or both files arrive.
// Neither may replace the other, whichever comes first, in a folder that stood or that the run
// makes, among files the user has or not.
TEST(WindowsDestination, TwoFilesOneNamedAsTheOthersShortNameAreNeverOneFile) {
    TempFolder probe;
    const std::wstring alias = shortNameOf(w(probe.path()), L"Program Files.txt");
    if (alias.empty()) GTEST_SKIP() << "this volume gives no short names";
    for (const bool longFirst : {true, false}) {
        for (const std::u16string folder : {u"", u"made\\", u"kept\\"}) {
            Case c;
            // Keeping the files that stand must not keep one of the archive's for the other.
            keepExistingFiles(folder == u"kept\\");
            put(c.dest + L"\\unrelated.txt", "the user's own");
            const StoredFile longOne{folder + u"Program Files.txt", "long"};
            const StoredFile shortOne{folder + u(alias), "short"};
            c.make(longFirst ? std::vector<StoredFile>{longOne, shortOne}
                             : std::vector<StoredFile>{shortOne, longOne});
            const Tree before = snapshot(c.dest);
            const Outcome run = c.extract();
            const std::string what =
                (longFirst ? "long name first, " : "short name first, ") +
                std::string(folder.empty() ? "in the destination" : "in a folder the run makes");
            const Tree after = snapshot(c.dest);
            if (run.result == kExtractOk) {
                EXPECT_EQ(get(c.dest + L"\\" + w(longOne.name)), "long") << what;
                EXPECT_EQ(get(c.dest + L"\\" + w(shortOne.name)), "short") << what;
                // Both by their own names: the short one is a file of its own, not an alias.
                size_t files = 0;
                for (const auto& [path, content] : after) files += path.back() != L'\\';
                EXPECT_EQ(files, 3u) << what;
            } else {
                EXPECT_EQ(run.result, kWriteError) << what;
                Tree kept = after;
                kept.erase(L"made\\");  // folders the run made may stay
                kept.erase(L"kept\\");
                EXPECT_EQ(kept, before) << what;
            }
            EXPECT_FALSE(anyTemporary(after)) << what;
        }
    }
}

// A destination and names that make paths of 246 characters (a one-character file in a folder
// of 244, where the temporary's longer name once passed 259), 259 (the most a path has without
// the \\?\ form), 260 and 1000: each extracts, with its contents where its path says.
TEST(WindowsDestination, LongPathsExtractToTheirFullLength) {
    for (const size_t total : {246u, 259u, 260u, 1000u}) {
        Case c;
        // Folders of up to 200 characters under the destination make up the length; the leaf
        // is one character for 246 (a folder of 244), 60 otherwise.
        size_t leafChars = total == 246 ? 1 : 60;
        std::wstring folder = c.dest;
        ASSERT_LT(folder.size() + 1 + leafChars, total);
        size_t left = total - 1 - leafChars - folder.size();  // for "\\name" pieces
        if (left == 1) {
            ++leafChars;  // no name fits in one character with its backslash
            left = 0;
        }
        while (left > 0) {
            size_t name = left - 1 < 200 ? left - 1 : 200;
            if (left - 1 - name == 1) --name;  // never leave room for a backslash alone
            folder += L"\\" + std::wstring(name, L'd');
            left -= 1 + name;
        }
        const std::wstring leaf(leafChars, L'f');
        const std::wstring path = folder + L"\\" + leaf;
        ASSERT_EQ(path.size(), total);
        // The destination is the deepest folder: the run makes it, and the stored name is short.
        c.make({{u(leaf), "deep"}});
        const Outcome run = c.extract(folder);
        EXPECT_EQ(run.result, kExtractOk) << total << " characters, error " << run.failedError;
        EXPECT_EQ(get(path), "deep") << total << " characters";
        EXPECT_FALSE(anyTemporary(snapshot(folder))) << total;
        removeTree(c.dest);  // the temporary folder's own clean-up stops at 260 characters
    }
}

// Long paths reached from the stored names: a short destination and a name of 259 characters,
// the longest an archive holds, whose folders the run makes.
TEST(WindowsDestination, LongStoredNamesExtractBelowADestination) {
    Case c;
    const std::u16string deep = std::u16string(120, u'a') + u"\\" + std::u16string(120, u'b') +
                                u"\\" + std::u16string(17, u'c');
    ASSERT_EQ(deep.size(), 259u);
    ASSERT_GT(c.dest.size() + 1 + deep.size(), 260u);
    c.make({{deep, "long name"}, {u"short.txt", "short"}});
    const Outcome run = c.extract();
    EXPECT_EQ(run.result, kExtractOk) << "error " << run.failedError;
    EXPECT_EQ(get(c.dest + L"\\" + w(deep)), "long name");
    EXPECT_EQ(get(c.dest + L"\\short.txt"), "short");
    removeTree(c.dest);
}

// A 32-bit program on 64-bit Windows that names the system folder is sent to SysWOW64 unless it
// says otherwise: the files must land in the folder the user named. Only a 32-bit program on
// 64-bit Windows sees this; elsewhere there is nothing to show.
TEST(WindowsDestination, FilesNamedInTheSystemFolderLandThereFromA32BitProgram) {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (!wow64) {
        std::printf(
            "i686 only: the system folder is redirected only for 32-bit programs on 64-bit "
            "Windows, and this is %s\n",
            sizeof(void*) == 8 ? "a 64-bit program" : "32-bit Windows");
        GTEST_SKIP() << "not a 32-bit program on 64-bit Windows: nothing is redirected here";
    }
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
    const std::wstring name = L"quillon-redirect-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring asked = std::wstring(system) + L"\\" + name;
    const std::wstring wow = std::wstring(windows) + L"\\SysWOW64\\" + name;
    Case c;
    c.make({{u"a.txt", "where asked"}, {u"sub\\b.txt", "there too"}});
    const Outcome run = c.extract(asked);
    // What is where, seen without redirection; then everything made goes.
    std::string a, b, redirected;
    {
        const RedirectionOff off;
        a = get(asked + L"\\a.txt");
        b = get(asked + L"\\sub\\b.txt");
        redirected = get(wow + L"\\a.txt");
        DeleteFileW((asked + L"\\a.txt").c_str());
        DeleteFileW((asked + L"\\sub\\b.txt").c_str());
        RemoveDirectoryW((asked + L"\\sub").c_str());
        RemoveDirectoryW(asked.c_str());
        DeleteFileW((wow + L"\\a.txt").c_str());
        DeleteFileW((wow + L"\\sub\\b.txt").c_str());
        RemoveDirectoryW((wow + L"\\sub").c_str());
        RemoveDirectoryW(wow.c_str());
    }
    if (run.result == kWriteError && run.failedError == ERROR_ACCESS_DENIED) {
        GTEST_SKIP() << "the system folder takes no files from this user";
    }
    EXPECT_EQ(run.result, kExtractOk) << run.failedError;
    EXPECT_EQ(a, "where asked");
    EXPECT_EQ(b, "there too");
    EXPECT_EQ(redirected, "(absent)");
}

}  // namespace
