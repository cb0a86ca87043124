// What create stores: the files named, and every file in the folders named, walked in a fixed
// order so every build writes the same archive. Each file is checked to be readable and each
// folder to be listable before anything is asked or written. What an archive cannot keep is
// named on standard error as the walk meets it and counted: folders with no file in them when
// the archive keeps no metadata (otherwise they are gathered as entries of their own), and links
// that lead to a folder or nowhere (a link to a file is stored as the file it leads to).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sfxtool/options.h"

// The names gathered: one text of names, each ended by a zero, and where each starts, in list
// order (the text holds a folder's names in the order the walk met them, and its starts are
// sorted). A name costs its characters and four bytes, so 200,000 files cost a few MiB, where
// a vector of strings would cost four times that.
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
    std::u16string inOrder() const;
};

// What the walk met and the archive will not hold.
struct LeftOut {
    uint32_t emptyFolders = 0;
    uint32_t links = 0;   // to a folder, or leading nowhere
    uint32_t others = 0;  // pipes, sockets, devices

    bool any() const { return emptyFolders + links + others > 0; }
    // "1 empty folder, 2 links", for the summary.
    std::u16string summary() const;
};

// Every file the arguments name, as names relative to the base folder (-C), and in `folders`
// the folders below them that hold nothing at all, unless --no-metadata (or --no-integrity) says
// the archive keeps none. Returns 0, or the exit status after naming the path that cannot be
// read and the system's reason.
int gatherInputs(const Options& o, GatheredNames& listed, GatheredNames& folders, LeftOut& leftOut);
