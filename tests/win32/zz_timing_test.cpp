#include <windows.h>
#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>
#include "common/archive/job_records.h"
#include "tests/support/archive_builder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/file_tree.h"
TEST(Timing, ReplaceMany) {
    TempFolder dir;
    std::vector<StoredFile> files;
    for (int i = 0; i < 2000; ++i) files.push_back({u"d" + std::u16string(1, u'0' + i % 10) + u"\\f" + std::u16string(std::to_string(i).begin(), std::to_string(i).end()) + u".txt", "x"});
    const auto image = buildImage(files, u"pw", "");
    std::u16string archive = dir.path() + u"\\a.tvf";
    file_tree::put(file_tree::native(archive), std::string(reinterpret_cast<const char*>(image.data()), image.size()));
    for (int round = 0; round < 3; ++round) {
        ArchiveReader r;
        std::u16string d = dir.path() + u"\\dest";
        r.configure(nullptr, d.c_str(), archive.c_str());
        r.unverified = kUnverifiedAllow;
        ASSERT_TRUE(r.setPassword(u"pw"));
        auto t0 = std::chrono::steady_clock::now();
        r.run();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
        std::printf("round %d (%s): %lld ms result %d\n", round, round == 0 ? "new" : "replace", (long long)ms, (int)r.result);
    }
}
