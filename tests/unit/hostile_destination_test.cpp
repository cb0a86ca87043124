// Extraction into a destination that an attacker prepared, or that fails under us: links planted
// in the folder, the archive itself among the targets, names that are one file on Windows, a
// run that fails half-way over files the user already has. After every failed run the
// destination must hold exactly what it held before.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/archive/extraction_commit.h"
#include "common/archive/job_records.h"
#include "common/archive/name_clash.h"
#include "common/support/destination_tree.h"
#include "common/support/utf8.h"
#include "tests/support/archive_builder.h"
#include "tests/support/file_tree.h"
#include "tests/support/link_maker.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

struct Case {
    TempFolder dir;
    fs::path dest() const { return dir.native() / "dest"; }
    std::u16string destPath() const { return dir.path() + u"\\dest"; }
    std::u16string archive = dir.path() + u"\\archive.tvf";

    Case() { fs::create_directories(dest()); }

    void make(const std::vector<StoredFile>& files) {
        const auto image = buildImage(files, u"pw", "");
        file_tree::put(file_tree::native(archive),
                       std::string(reinterpret_cast<const char*>(image.data()), image.size()));
    }

    ExtractResult extract(const std::u16string& into = u"") {
        ArchiveReader r;
        const std::u16string d = into.empty() ? destPath() : into;
        r.configure(nullptr, d.c_str(), archive.c_str());
        r.unverified = kUnverifiedAllow;  // the images here carry no integrity record
        if (!r.setPassword(u"pw")) return kOutOfMemory;
        r.run();
        return r.result;
    }
};

// Everything below a folder, links shown as "-> target" rather than followed.
Tree snapshot(const fs::path& root) {
    Tree t;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string rel = fs::relative(it->path(), root).generic_string();
        if (it->is_symlink()) {
            std::error_code unread;
            const fs::path to = fs::read_symlink(it->path(), unread);
            t[rel] = "-> " + (unread ? std::string("(a link)") : to.string());
            it.disable_recursion_pending();
        } else if (it->is_directory()) {
            t[rel + "/"] = "";
        } else {
            t[rel] = file_tree::get(it->path());
        }
    }
    return t;
}

TEST(HostileDestination, NamesWindowsTakesForOneFileAreCorruptAndNothingIsCreated) {
    const std::vector<std::vector<StoredFile>> archives = {
        {{u"a.txt", "first"}, {u"a.txt", "second"}},
        {{u"D.txt", "1"}, {u"d.TXT", "2"}},
        {{u"\u00c4.txt", "1"}, {u"\u00e4.txt", "2"}},
        {{u"\u03a3\u03b1.txt", "1"}, {u"\u03c3\u03b1.txt", "2"}},
        {{u"x\\\u03c2", "1"}, {u"X/\u03a3", "2"}},
        {{u"a", "file"}, {u"a\\b", "inside"}},
        {{u"sub\\A\\b", "1"}, {u"zz", "2"}, {u"SUB\\a", "3"}},
    };
    for (const auto& files : archives) {
        Case c;
        c.make(files);
        EXPECT_EQ(c.extract(), kCorrupt) << utf8FromWide(files[1].name);
        EXPECT_TRUE(fs::is_empty(c.dest())) << utf8FromWide(files[1].name);
    }
    // Names that only look alike stay apart: another letter, or a sharp s against "SS".
    Case c;
    c.make({{u"a", "1"}, {u"ab", "2"}, {u"a b\\c", "3"}, {u"stra\u00dfe", "4"}, {u"STRASSE", "5"}});
    EXPECT_EQ(c.extract(), kExtractOk);
}

TEST(HostileDestination, ClashOrderPutsAFolderRightAfterItsName) {
    EXPECT_LT(compareStoredNames(u"a", 1, u"a\\b", 3), 0);
    EXPECT_LT(compareStoredNames(u"a\\b", 3, u"a b", 3), 0) << "separators sort lowest";
    EXPECT_EQ(compareStoredNames(u"\u0101", 1, u"\u0100", 1), 0) << "Latin Extended pairs";
    EXPECT_EQ(compareStoredNames(u"\u0430", 1, u"\u0410", 1), 0) << "Cyrillic";
    EXPECT_NE(compareStoredNames(u"\u00df", 1, u"SS", 2), 0);
}

TEST(HostileDestination, AFailedRunLeavesTheOldFilesAndNoTemporaries) {
    Case c;
    c.make({{u"keep.txt", "new contents"}, {u"blocked\\b.txt", "cannot go there"}});
    file_tree::put(c.dest() / "keep.txt", "the user's own");
    file_tree::put(c.dest() / "blocked", "a file where a folder must go");
    const Tree before = snapshot(c.dest());
    EXPECT_EQ(c.extract(), kWriteError);
    EXPECT_EQ(snapshot(c.dest()), before);
}

TEST(HostileDestination, TheArchiveItselfIsNeverATarget) {
    Case c;
    // The archive sits in the destination and holds a file of its own name.
    c.archive = c.destPath() + u"\\archive.tvf";
    c.make({{u"archive.tvf", "garbage over the archive"}, {u"other.txt", "x"}});
    const std::string original = file_tree::get(c.dest() / "archive.tvf");
    EXPECT_EQ(c.extract(), kWriteError);
    EXPECT_EQ(file_tree::get(c.dest() / "archive.tvf"), original) << "the archive is intact";
    EXPECT_FALSE(fs::exists(c.dest() / "other.txt")) << "nothing committed";
}

TEST(HostileDestination, AHardLinkToTheArchiveIsTheArchive) {
    Case c;
    c.make({{u"copy.tvf", "replaced"}});
    fs::create_hard_link(file_tree::native(c.archive), c.dest() / "copy.tvf");
    const std::string original = file_tree::get(file_tree::native(c.archive));
    EXPECT_EQ(c.extract(), kWriteError);
    EXPECT_EQ(file_tree::get(file_tree::native(c.archive)), original);
}

// The link cases run wherever a link can be made: on Windows a junction for a folder, a
// symbolic link for a file where the user may make one; under Wine the Linux links it shows
// (link_maker.h).
TEST(HostileDestination, AFolderLinkInTheDestinationIsNeverFollowed) {
    Case c;
    fs::create_directories(c.dir.native() / "outside");
    if (!link_maker::folderLink(c.dir.native() / "outside", c.dest() / "link")) {
        GTEST_SKIP() << "no link to a folder can be made here";
    }
    c.make({{u"link\\pwned.txt", "escaped"}});
    const Tree before = snapshot(c.dest());
    EXPECT_EQ(c.extract(), kWriteError);
    EXPECT_TRUE(fs::is_empty(c.dir.native() / "outside"));
    EXPECT_EQ(snapshot(c.dest()), before);
    link_maker::removeLink(c.dest() / "link");
}

TEST(HostileDestination, AFileLinkIsNeitherWrittenThroughNorReplaced) {
    // The file linked to elsewhere has the link's own name, and another: a look that compares
    // only the last name cannot tell the link from the file.
    for (const char* victim : {"f.txt", "victim"}) {
        Case c;
        fs::create_directories(c.dir.native() / "elsewhere");
        file_tree::put(c.dir.native() / "elsewhere" / victim, "precious");
        if (!link_maker::fileLink(c.dir.native() / "elsewhere" / victim, c.dest() / "f.txt")) {
            GTEST_SKIP() << "no link to a file can be made here (Windows asks for the privilege "
                            "or developer mode)";
        }
        c.make({{u"f.txt", "overwritten"}});
        const Tree before = snapshot(c.dest());
        EXPECT_EQ(c.extract(), kWriteError) << victim;
        EXPECT_EQ(file_tree::get(c.dir.native() / "elsewhere" / victim), "precious") << victim;
        EXPECT_EQ(snapshot(c.dest()), before) << victim;
        // Still a link: the file the archive has did not take its place.
        EXPECT_EQ(file_tree::get(c.dest() / "f.txt"), "precious") << victim;
        link_maker::removeLink(c.dest() / "f.txt");
    }
}

TEST(HostileDestination, ALinkDeeperDownIsRefusedAndADestinationReachedByLinkIsFine) {
    Case c;
    fs::create_directories(c.dest() / "a");
    fs::create_directories(c.dir.native() / "elsewhere");
    if (!link_maker::folderLink(c.dir.native() / "elsewhere", c.dest() / "a" / "b")) {
        GTEST_SKIP() << "no link to a folder can be made here";
    }
    c.make({{u"a\\b\\c\\d.txt", "deep"}});
    EXPECT_EQ(c.extract(), kWriteError);
    EXPECT_TRUE(fs::is_empty(c.dir.native() / "elsewhere"));

    // The user may name a destination that is itself a link: that is their choice.
    Case d;
    ASSERT_TRUE(link_maker::folderLink(d.dest(), d.dir.native() / "alias"));
    d.make({{u"in\\f.txt", "fine"}});
    EXPECT_EQ(d.extract(d.dir.path() + u"\\alias"), kExtractOk);
    EXPECT_EQ(file_tree::get(d.dest() / "in" / "f.txt"), "fine");
    link_maker::removeLink(c.dest() / "a" / "b");
    link_maker::removeLink(d.dir.native() / "alias");
}

TEST(HostileDestination, ReplacingFilesLeavesNoTemporariesBehind) {
    Case c;
    c.make({{u"a.txt", "new a"}, {u"sub\\b.txt", "new b"}, {u"empty", ""}});
    file_tree::put(c.dest() / "a.txt", "old a");
    file_tree::put(c.dest() / "sub" / "b.txt", "old b");
    ASSERT_EQ(c.extract(), kExtractOk);
    EXPECT_EQ(snapshot(c.dest()),
              (Tree{{"a.txt", "new a"}, {"empty", ""}, {"sub/", ""}, {"sub/b.txt", "new b"}}));
}

// The commit looks at every target before it renames any; what appears under a target's name
// after that look (a file, a link) must be neither replaced nor followed by the rename.
TEST(HostileDestination, AFileIsPutInPlaceOnlyWhereNothingHasComeMeanwhile) {
    TempFolder dir;
    DestinationTree tree;
    ASSERT_TRUE(tree.open(dir.path().c_str()));
    ASSERT_EQ(tree.enter(u"", 0, false), TreeEnter::kEntered);
    File temp;
    ASSERT_TRUE(tree.createTemporary(7, temp));
    ASSERT_EQ(temp.write("new", 3), 3);
    temp.close();
    file_tree::put(dir.native() / "came.txt", "came meanwhile");
#ifndef _WIN32
    fs::create_symlink(dir.native() / "elsewhere", dir.native() / "link");
    EXPECT_EQ(tree.placeTemporary(7, u"link"), TreePlace::kTaken);
    EXPECT_FALSE(fs::exists(dir.native() / "elsewhere"));
#endif
    EXPECT_EQ(tree.placeTemporary(7, u"came.txt"), TreePlace::kTaken);
    EXPECT_EQ(file_tree::get(dir.native() / "came.txt"), "came meanwhile");
    EXPECT_EQ(tree.placeTemporary(7, u"new.txt"), TreePlace::kPlaced);
    EXPECT_EQ(file_tree::get(dir.native() / "new.txt"), "new");
    EXPECT_EQ(tree.placeTemporary(7, u"again.txt"), TreePlace::kFailed);  // nothing left to place
}

TEST(HostileDestination, OnlyAFolderMadeByTheRunCountsAsMade) {
    TempFolder dir;
    fs::create_directories(dir.native() / "old" / "kept");
    DestinationTree tree;
    ASSERT_TRUE(tree.open(dir.path().c_str()));
    const auto enter = [&](const std::u16string& folder) {
        return tree.enter(folder.c_str(), static_cast<uint32_t>(folder.size()), true);
    };
    ASSERT_EQ(enter(u"old\\kept"), TreeEnter::kEntered);
    EXPECT_FALSE(tree.madeCurrent());
    ASSERT_EQ(enter(u"old\\new\\deeper"), TreeEnter::kEntered);
    EXPECT_TRUE(tree.madeCurrent());
    ASSERT_EQ(enter(u"old\\new"), TreeEnter::kEntered);  // there now: made before, not now
    EXPECT_FALSE(tree.madeCurrent());
    ASSERT_EQ(enter(u""), TreeEnter::kEntered);
    EXPECT_FALSE(tree.madeCurrent());
}

// The commit does not look first at targets in folders the run made. Something put there
// meanwhile must still stop it or be kept until it succeeds: a folder where a file is to go
// fails the run with the destination as it was (but for the folders made), a file is replaced.
TEST(HostileDestination, WhatCameIntoAMadeFolderMeanwhileIsNeverLostUnseen) {
    for (const bool plantFolder : {true, false}) {
        TempFolder dir;
        FileTable files;
        ASSERT_TRUE(files.add(u"made\\a.txt", 10, 3));
        ASSERT_TRUE(files.add(u"made\\b.txt", 10, 3));
        DestinationTree tree;
        ASSERT_TRUE(tree.open(dir.path().c_str()));
        ExtractionCommit pending;
        ASSERT_TRUE(pending.prepare(2));
        for (uint32_t i = 0; i < 2; ++i) {
            const char16_t* leaf = nullptr;
            ASSERT_EQ(pending.enterFolderOf(tree, files, i, true, leaf), TreeEnter::kEntered);
            File temp;
            ASSERT_TRUE(pending.createTemporary(tree, i, temp));
            ASSERT_EQ(temp.write("new", 3), 3);
        }
        if (plantFolder) {
            fs::create_directory(dir.native() / "made" / "b.txt");
        } else {
            file_tree::put(dir.native() / "made" / "b.txt", "came meanwhile");
        }
        uint32_t failed = 99;
        TargetRefusal refused = kNotRefused;
        const bool done = pending.commit(tree, files, FileIdentity{}, failed, refused);
        if (plantFolder) {
            EXPECT_FALSE(done);
            EXPECT_EQ(failed, 1u);
            EXPECT_EQ(snapshot(dir.native()), (Tree{{"made/", ""}, {"made/b.txt/", ""}}));
        } else {
            EXPECT_TRUE(done);
            EXPECT_EQ(snapshot(dir.native()),
                      (Tree{{"made/", ""}, {"made/a.txt", "new"}, {"made/b.txt", "new"}}));
        }
    }
}

}  // namespace
