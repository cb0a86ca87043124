// The writer's openers: every listed file handed over in list order, opened or not with the
// system's reason, across batch and ring boundaries; files that stay open for as long as the
// writer holds them; a list that ends early; a writer that stops half-way.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/archive/open_ahead.h"
#include "common/support/utf8.h"
#include "tests/support/file_tree.h"
#include "tests/support/temp_folder.h"

namespace {

// A list as the writer holds it: zero-terminated names one after another, an empty one last.
struct Listed {
    WideBuf text;
    std::vector<uint32_t> offsets;

    explicit Listed(const std::vector<std::u16string>& names) {
        uint32_t chars = 1;
        for (const std::u16string& n : names) chars += static_cast<uint32_t>(n.size()) + 1;
        text.ensureCapacity(chars);
        uint32_t at = 0;
        for (const std::u16string& n : names) {
            offsets.push_back(at);
            for (char16_t c : n) text.data[at++] = c;
            text.data[at++] = 0;
        }
        offsets.push_back(at);  // the empty name that ends the list
    }
};

struct Folder {
    TempFolder dir;
    std::vector<std::u16string> names;
    // `count` names; every seventh file is missing, the others hold their own name.
    explicit Folder(uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            const std::string name = "f" + std::to_string(i);
            names.push_back(wideFromUtf8(name));
            if (i % 7 != 3) file_tree::put(dir.native() / name, name);
        }
    }
};

bool openIn(void* context, const char16_t* name, File& file, WideBuf& path) {
    const std::u16string full = static_cast<Folder*>(context)->dir.path() + u"\\" + name;
    path.assign(full.c_str());
    return file.open(path.data, FileOpen::kReadShared);
}

std::string contents(File& file) {
    std::string s(64, '\0');
    const int64_t n = file.read(s.data(), static_cast<uint32_t>(s.size()));
    s.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return s;
}

TEST(OpenAhead, HandsOverEveryFileInOrderAcrossBatchesAndTheRing) {
    // More than the ring holds, and not a whole number of batches.
    Folder folder(1000);
    Listed list(folder.names);
    OpenAhead ahead;
    ahead.start(list.text, list.offsets.data(), 1000, &openIn, &folder);
    for (uint32_t i = 0; i < 1000; ++i) {
        OpenAhead::Opened& e = ahead.take();
        ASSERT_NE(e.name, nullptr) << i;
        EXPECT_EQ(std::u16string(e.name), folder.names[i]);
        EXPECT_EQ(e.offset, list.offsets[i]);
        if (i % 7 == 3) {
            EXPECT_FALSE(e.opened) << i;
            EXPECT_NE(e.error, 0u) << i;
        } else {
            ASSERT_TRUE(e.opened) << i;
            EXPECT_EQ(contents(e.file), "f" + std::to_string(i));
        }
    }
    EXPECT_EQ(ahead.take().name, nullptr);
    EXPECT_EQ(ahead.take().name, nullptr);
}

TEST(OpenAhead, AFileStaysOpenWhileTheWriterHoldsIt) {
    // The writer reads a large file through a second thread while the openers run on: the
    // entry it holds must not be closed or reused under it, whatever they open meanwhile.
    Folder folder(300);
    Listed list(folder.names);
    OpenAhead ahead;
    ahead.start(list.text, list.offsets.data(), 300, &openIn, &folder);
    OpenAhead::Opened& held = ahead.take();
    ASSERT_TRUE(held.opened);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // they go as far as they may
    EXPECT_EQ(contents(held.file), "f0");
    EXPECT_EQ(std::u16string(held.name), u"f0");
}

TEST(OpenAhead, AListShorterThanItsCountEndsAtItsLastName) {
    Folder folder(70);
    Listed list(folder.names);
    // Offsets past the last name point at the empty one that ends the list.
    std::vector<uint32_t> offsets = list.offsets;
    offsets.resize(100, list.offsets.back());
    OpenAhead ahead;
    ahead.start(list.text, offsets.data(), 100, &openIn, &folder);
    for (uint32_t i = 0; i < 70; ++i) ASSERT_NE(ahead.take().name, nullptr) << i;
    EXPECT_EQ(ahead.take().name, nullptr);
    EXPECT_EQ(ahead.take().name, nullptr);
}

// The files open in this process right now (POSIX), or -1 where that cannot be told.
int openFiles() {
#ifdef _WIN32
    return -1;
#else
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
#endif
}

TEST(OpenAhead, StoppingHalfWayEndsTheOpenersAndClosesTheirFiles) {
    Folder folder(500);
    Listed list(folder.names);
    const int before = openFiles();
    for (uint32_t taken : {0u, 1u, 64u, 200u}) {
        OpenAhead ahead;
        ahead.start(list.text, list.offsets.data(), 500, &openIn, &folder);
        for (uint32_t i = 0; i < taken; ++i) ahead.take();
        ahead.stop();  // and again when it goes out of scope
    }
    EXPECT_EQ(openFiles(), before);
    // Windows refuses to delete a file that is open here: every one must go.
    for (uint32_t i = 0; i < 500; ++i) {
        if (i % 7 == 3) continue;
        std::error_code ec;
        EXPECT_TRUE(std::filesystem::remove(folder.dir.native() / ("f" + std::to_string(i)), ec))
            << i << " " << ec.message();
    }
}

}  // namespace
