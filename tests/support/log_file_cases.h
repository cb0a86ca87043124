// The log's file behaviour, checked the same way on every build: the level set by the first
// byte, the start banner and report in their order, ANSI text, the cut of an over-long entry
// and the caller's last error. A test file includes this after defining the fixture
// LogFileCase, which says where the log file lives:
//   void create(const std::string& bytes)  makes the log file with these bytes
//   void remove()                          deletes it
//   std::string read()                     its bytes
//   void start()                           forgets any log, then initLog(u"zq_sfx", {program}, 1)
//   kVersion, kProductVersion, kProductName  the program's own version values
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/support/clock.h"
#include "common/support/code_page.h"
#include "common/support/file_io.h"
#include "common/support/log.h"
#include "common/support/system_report.h"
#include "quillon_version.h"

namespace log_file_cases {

// The entries as "label|tag|message". Each starts with "\r\n[hh:mm:ss:mmm] "; what comes before
// the first is the configuration.
inline std::vector<std::string> entries(const std::string& bytes) {
    std::vector<std::string> out;
    for (size_t at = bytes.find("\r\n["); at != std::string::npos;) {
        const size_t next = bytes.find("\r\n[", at + 3);
        const std::string text = bytes.substr(at + 3, next - at - 3);
        const size_t labelEnd = text.find(" [", 14), tagEnd = text.find("] ", labelEnd);
        if (text.compare(12, 2, "] ") != 0 || tagEnd == std::string::npos) {
            ADD_FAILURE() << "malformed entry: " << text;
            break;
        }
        out.push_back(text.substr(14, labelEnd - 14) + "|" +
                      text.substr(labelEnd + 2, tagEnd - labelEnd - 2) + "|" +
                      text.substr(tagEnd + 2));
        at = next;
    }
    return out;
}

// A report text as the log writes it: in the ANSI code page, empty when there is none.
inline std::string ansi(const char16_t* text) {
    if (text == nullptr) return "";
    std::string out(wideLength(text), '\0');
    out.resize(ansiFromWide(text, wideLength(text), reinterpret_cast<uint8_t*>(out.data()),
                            static_cast<uint32_t>(out.size())));
    return out;
}

}  // namespace log_file_cases

TEST_F(LogFileCase, EmptyFileGivesBannerAndReportInOrderThenLevelThree) {
    using log_file_cases::ansi;
    create("");
    start();
    char16_t path[kModuleInfoRoom];
    moduleInfo(nullptr, nullptr, path, nullptr, nullptr, nullptr, nullptr);
    std::vector<std::string> expected = {"\n\nSTART LOGFILE Quillon SFX " QUILLON_VERSION_TEXT};
    const auto details = [&](const std::string& versionLabel, const std::string& nameLabel) {
        expected.push_back("Path:" + ansi(path));
        expected.push_back(std::string("version:") + kVersion);
        expected.push_back(versionLabel + kProductVersion);
        expected.push_back(nameLabel + kProductName);
    };
    details("p version:", "p name:");
    for (const char16_t* text :
         {osDescription(), uiLanguage(), browserVersion(), cpuDescription(), memorySize()}) {
        expected.push_back(ansi(text));
    }
    details("product version:", "product name:");
    const UtcTime now = currentUtcTime();
    expected.push_back("date: " + std::to_string(now.year) + " " + std::to_string(now.month) + " " +
                       std::to_string(now.day));
    for (std::string& e : expected) e = "WARNING|init_log|" + e;
    EXPECT_EQ(log_file_cases::entries(read()), expected);
    EXPECT_EQ(read().rfind("\r\n[", 0), 0u) << "nothing before the first entry";

    EXPECT_EQ(logLine(1, "start", u"error %d", 1), 1);
    EXPECT_EQ(logLine(3, "rftc", u"trace %s", u"x"), 1);
    EXPECT_EQ(logLine(5, "4", u"detail"), 0);
    EXPECT_EQ(logLine(0, "4", u"never"), 0);
    EXPECT_EQ(logLine(-1, "4", u"never"), 0);
    expected.push_back("ERROR  |start|error 1");
    expected.push_back("TRACE  |rftc|trace x");
    EXPECT_EQ(log_file_cases::entries(read()), expected);
}

TEST_F(LogFileCase, FirstByteSetsTheLevelAndStaysInPlace) {
    create("5");
    start();
    EXPECT_EQ(logLine(5, "4", u"detail"), 1);
    EXPECT_EQ(logLine(6, "4", u"finer"), 0);
    EXPECT_EQ(read()[0], '5');
    const std::vector<std::string> e = log_file_cases::entries(read());
    ASSERT_EQ(e.size(), 16u);
    EXPECT_EQ(e.back(), "|4|detail") << "level 5 has no label";

    create("1\r\nnotes");
    start();
    EXPECT_EQ(read(), "1\r\nnotes") << "level 1: not even the banner";
    EXPECT_EQ(logLine(2, "x", u"warning"), 0);
    EXPECT_EQ(logLine(1, "x", u"error"), 1);
    EXPECT_EQ(log_file_cases::entries(read()), std::vector<std::string>{"ERROR  |x|error"});

    create("x");
    start();
    EXPECT_EQ(logLine(1, "x", u"error"), 0) << "a non-digit switches logging off";
    EXPECT_EQ(read(), "x");

    remove();
    start();
    EXPECT_EQ(logLine(1, "x", u"error"), 0) << "no file, no log";
}

TEST_F(LogFileCase, EntriesAreAnsiAndCutAt4351Bytes) {
    create("3");
    start();
    create("3");  // without the banner
    EXPECT_EQ(logLine(3, "t", u"caf\u00e9 \u20ac \u0100"), 1);
    EXPECT_EQ(log_file_cases::entries(read()),
              std::vector<std::string>{"TRACE  |t|caf\xe9 \x80 ?"});
    create("3");
    const std::u16string longText(6000, u'\u00e9');
    EXPECT_EQ(logLine(3, "t", u"%s", longText.c_str()), 1);
    EXPECT_EQ(read().size(), 1u + 4351u);
}

TEST_F(LogFileCase, TheCallersLastErrorSurvives) {
    create("3");
    start();
    setLastSystemError(1234);
    EXPECT_EQ(logLine(3, "t", u"written"), 1);
    EXPECT_EQ(lastSystemError(), 1234u);
    remove();
    setLastSystemError(4321);
    EXPECT_EQ(logLine(3, "t", u"lost: the file is gone"), 1) << "it passed the level test";
    EXPECT_EQ(lastSystemError(), 4321u) << "the failed open must not show";
    EXPECT_EQ(read(), "") << "never created";
}
