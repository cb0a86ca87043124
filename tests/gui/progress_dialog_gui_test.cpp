// The progress dialog with real jobs: small archives made and extracted in temporary folders
// through the engine's writer and reader, and a large one whose reports are watched as they reach
// the dialog. Held at a report of its choice, a job keeps the dialog open while the test moves it
// and tries to close it.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "common/archive/progress_dialog.h"
#include "tests/gui/dialog_template.h"
#include "tests/gui/gui_driver.h"
#include "tests/gui/job_watch.h"
#include "tests/gui/screenshot.h"
#include "tests/gui/thread_watch.h"
#include "tests/support/file_tree.h"
#include "tests/support/temp_folder.h"

namespace {

struct Template {
    const ProgressDialogIds* ids;
    const char* name;
};

// The extractor's template runs writer jobs here too, to show both layouts behave alike; the
// extractor itself gives its dialog no writer starter.
constexpr ProgressDialogIds kExtractorTemplateWithWriter = {
    QUILLON_EXTRACTOR_PROGRESS_DIALOG, QUILLON_EXTRACTOR_PROGRESS_STATUS,
    QUILLON_EXTRACTOR_PROGRESS_PERCENT, QUILLON_EXTRACTOR_PROGRESS_BAR, startWriterWorker};

// Test names and failures show the deliverable.
void PrintTo(const Template& t, std::ostream* os) {
    *os << t.name;
}

bool started(DWORD thread) {
    const std::vector<DWORD> threads = gui::threadsStarted();
    return thread != 0 && std::find(threads.begin(), threads.end(), thread) != threads.end();
}

// The number in a percentage line such as "Completed 51%".
int percentIn(const std::wstring& line) {
    const size_t space = line.rfind(L' ');
    return space == std::wstring::npos ? -1 : std::stoi(line.substr(space + 1));
}

class ProgressDialogTest : public testing::TestWithParam<Template> {
  public:
    const ProgressDialogIds& ids() const { return *GetParam().ids; }

    int run(ProgressJob& job, HWND owner = nullptr) {
        return runProgressDialog(GetModuleHandleW(nullptr), ids(), owner, job);
    }

    // Runs the job's dialog while `drive` works on it from a second thread.
    int drive(ProgressJob& job, const std::function<void(HWND)>& with, HWND owner = nullptr) {
        return gui::driveDialog([&] { return run(job, owner); }, with);
    }

    // A writer of the listed files below the folder into `archive`, keyed with "pw".
    void prepareWriter(ArchiveWriter& w, const std::u16string& archive, const std::u16string& list,
                       uint32_t count) {
        w.configure(nullptr, folder.path().c_str(), archive.c_str(), list.c_str(),
                    static_cast<uint32_t>(list.size() + 1), count);
        ASSERT_TRUE(w.setPassword(u"pw"));
    }

    void put(const std::string& name, const std::string& content) {
        file_tree::put(file_tree::below(folder.native(), name), content);
    }

    // A path in the test's folder.
    std::u16string inFolder(const char16_t* name) const { return folder.path() + u"\\" + name; }

    TempFolder folder;
};

TEST_P(ProgressDialogTest, AJobWithNeitherRecordEndsAtOnceAndStartsNoThread) {
    ProgressJob job;
    gui::JobWatch watch(ids());
    const size_t threads = gui::threadsStarted().size();
    const DWORD start = GetTickCount();
    EXPECT_EQ(run(job), 0);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(gui::threadsStarted().size(), threads);
    EXPECT_FALSE(watch.dialogShown());
    EXPECT_TRUE(watch.reports().empty());
}

// A dialog that cannot be shown runs no job: the record comes back untouched.
TEST_P(ProgressDialogTest, AMissingTemplateRunsNoJob) {
    put("a.txt", "hello");
    ArchiveWriter writer;
    prepareWriter(writer, inFolder(u"a.tvf"), std::u16string(u"a.txt\0", 6), 1);
    ProgressJob job{&writer, nullptr};
    ProgressDialogIds missing = ids();
    missing.dialog = 999;
    EXPECT_EQ(runProgressDialog(GetModuleHandleW(nullptr), missing, nullptr, job), -1);
    EXPECT_EQ(writer.workerThread, nullptr);
    EXPECT_EQ(writer.workerThreadId, 0u);
    EXPECT_FALSE(std::filesystem::exists(file_tree::native(inFolder(u"a.tvf"))));
}

// The extractor's own dialog has no writer starter: a writer job fails at once, starts no
// thread and writes nothing, instead of leaving a dialog open with no worker behind it.
TEST_P(ProgressDialogTest, ADialogWithoutAWriterStarterFailsAWriterJobAtOnce) {
    put("a.txt", "hello");
    ArchiveWriter writer;
    prepareWriter(writer, inFolder(u"a.tvf"), std::u16string(u"a.txt\0", 6), 1);
    ProgressJob job{&writer, nullptr};
    ProgressDialogIds readerOnly = ids();
    readerOnly.startWriter = nullptr;
    const size_t threads = gui::threadsStarted().size();
    EXPECT_EQ(runProgressDialog(GetModuleHandleW(nullptr), readerOnly, nullptr, job), 1);
    EXPECT_EQ(writer.writeResult, kWriteFailed);
    EXPECT_EQ(gui::threadsStarted().size(), threads);
    EXPECT_FALSE(std::filesystem::exists(file_tree::native(inFolder(u"a.tvf"))));
}

TEST_P(ProgressDialogTest, AWriterJobEndsWith1AndAReaderJobWith0) {
    put("a.txt", "hello");
    put("sub/b.bin", file_tree::pattern(100000, 7));
    const std::u16string archive = inFolder(u"out.tvf");
    const std::u16string list(u"a.txt\0sub\\b.bin\0", 16);

    ArchiveWriter writer;
    prepareWriter(writer, archive, list, 2);
    ProgressJob writing{&writer, nullptr};
    std::vector<gui::Report> reports;
    {
        gui::JobWatch watch(ids());
        EXPECT_EQ(run(writing), 1);
        reports = watch.reports();
    }
    EXPECT_EQ(writer.writeResult, kWriteOk);
    EXPECT_TRUE(started(writer.workerThreadId)) << "no worker ran";
    EXPECT_EQ(writer.workerThread, nullptr) << "the thread's handle was not released";
    ASSERT_FALSE(reports.empty());
    for (const gui::Report& r : reports) EXPECT_TRUE(r.fromOtherThread) << "not from the worker";
    EXPECT_EQ(reports.back().text, L"Completed 100%");

    const std::u16string out = inFolder(u"x");
    ArchiveReader reader;
    reader.configure(nullptr, out.c_str(), archive.c_str());
    ASSERT_TRUE(reader.setPassword(u"pw"));
    ProgressJob reading{nullptr, &reader};
    EXPECT_EQ(run(reading), 0);
    EXPECT_EQ(reader.result, kExtractOk);
    EXPECT_TRUE(started(reader.workerThreadId)) << "no worker ran";
    EXPECT_NE(reader.workerThreadId, writer.workerThreadId);
    EXPECT_EQ(reader.workerThread, nullptr);
    const auto files = file_tree::read(file_tree::native(out));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at("a.txt"), "hello");
    EXPECT_EQ(files.at("sub/b.bin"), file_tree::pattern(100000, 7));

    // The reader's own result says how it went; the dialog's is 0 all the same.
    ArchiveReader wrong;
    wrong.configure(nullptr, inFolder(u"y").c_str(), archive.c_str());
    ASSERT_TRUE(wrong.setPassword(u"not it"));
    ProgressJob mistaken{nullptr, &wrong};
    EXPECT_EQ(run(mistaken), 0);
    EXPECT_EQ(wrong.result, kWrongPassword);
}

TEST_P(ProgressDialogTest, ALargeJobStepsTheBarAndChangesBothTexts) {
    put("big.bin", file_tree::pattern(20u << 20, 3));
    const std::u16string archive = inFolder(u"big.tvf");
    ArchiveWriter writer;
    prepareWriter(writer, archive, std::u16string(u"big.bin\0", 8), 1);
    ProgressJob job{&writer, nullptr};
    gui::JobWatch watch(ids());
    // Halfway, the dialog is looked at with the job still running.
    watch.holdAt([&](const gui::Report& r) {
        return r.control == ids().percent && percentIn(r.text) >= 50;
    });
    EXPECT_EQ(
        drive(job,
              [&](HWND d) {
                  ASSERT_TRUE(watch.waitUntilHeld());
                  const HWND bar = GetDlgItem(d, ids().bar);
                  EXPECT_EQ(gui::controlText(d, ids().status), L"Encrypt: big.bin");
                  const std::wstring before = gui::controlText(d, ids().percent);
                  EXPECT_EQ(before.rfind(L"Completed ", 0), 0u) << testing::PrintToString(before);
                  EXPECT_LT(percentIn(before), 50);
                  EXPECT_GT(percentIn(before), 0);
                  PBRANGE range = {};
                  SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
                  EXPECT_EQ(range.iLow, 0);
                  EXPECT_EQ(range.iHigh, 100);
                  // Held at the text of a new percentage: the bar shows that percentage already.
                  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0),
                            percentIn(watch.reports().back().text));
                  // Translucent where the system has layered windows.
                  BYTE alpha = 0;
                  DWORD flags = 0;
                  EXPECT_TRUE(GetWindowLongW(d, GWL_EXSTYLE) & WS_EX_LAYERED);
                  EXPECT_TRUE(GetLayeredWindowAttributes(d, nullptr, &alpha, &flags));
                  EXPECT_EQ(alpha, 230);
                  EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
                  EXPECT_TRUE(gui::saveScreenshot(std::string("progress_") + GetParam().name, d));
                  watch.release();
              }),
        1);
    EXPECT_EQ(writer.writeResult, kWriteOk);

    // Every report came from the worker, to this deliverable's controls, in order: the scan, the
    // file, then the bar moved to each new percentage and that percentage shown, up to 100.
    const std::vector<gui::Report> reports = watch.reports();
    std::vector<std::wstring> statuses, percents;
    std::vector<int> positions;
    int steps = 0;
    for (const gui::Report& r : reports) {
        EXPECT_TRUE(r.fromOtherThread);
        if (r.message == PBM_SETPOS) {
            EXPECT_EQ(r.control, ids().bar);
            positions.push_back(r.position);
            ++steps;
        } else if (r.control == ids().status) {
            statuses.push_back(r.text);
        } else {
            EXPECT_EQ(r.control, ids().percent);
            percents.push_back(r.text);
        }
    }
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0].rfind(L"Prepare for encryption", 0), 0u);
    EXPECT_EQ(statuses[1], L"Encrypt: big.bin");
    EXPECT_EQ(static_cast<int>(percents.size()), steps);
    EXPECT_GE(steps, 20);
    int last = 0;
    for (std::size_t i = 0; i < percents.size(); ++i) {
        const int value = percentIn(percents[i]);
        EXPECT_GT(value, last) << testing::PrintToString(percents[i]);
        EXPECT_EQ(positions[i], value) << "the bar shows the percentage the text shows";
        last = value;
    }
    EXPECT_EQ(last, 100);
}

// A job's end and the wait for its thread must never meet in a deadlock, whatever the timing: a
// hundred short jobs over an owner window, as the front ends run them. A hang cannot be broken
// from inside the wait, so a watchdog ends the program with a failure instead.
TEST_P(ProgressDialogTest, ManyShortJobsOverAnOwnerAllEnd) {
    put("a.txt", "hello");
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 120, 800, 600,
                                       nullptr, nullptr, nullptr, nullptr);
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int waited = 0; waited < 60000 && !done; waited += 50) Sleep(50);
        if (done) return;
        std::fprintf(stderr, "a progress dialog never ended: the job and the wait deadlocked\n");
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    });
    int ended = 0;
    for (int i = 0; i < 100; ++i) {
        ArchiveWriter writer;
        prepareWriter(writer, inFolder(u"a.tvf"), std::u16string(u"a.txt\0", 6), 1);
        ProgressJob job{&writer, nullptr};
        ended += run(job, owner) == 1 && writer.writeResult == kWriteOk;
    }
    done = true;
    watchdog.join();
    EXPECT_EQ(ended, 100);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner was left disabled";
    DestroyWindow(owner);
}

// Held before its first report, a job keeps the dialog on the screen for as long as a test needs.
class HeldJob {
  public:
    HeldJob(ProgressDialogTest& test, const ProgressDialogIds& ids) : watch(ids) {
        test.put("a.txt", "hello");
        test.prepareWriter(writer, test.inFolder(u"a.tvf"), std::u16string(u"a.txt\0", 6), 1);
        watch.holdAt([](const gui::Report&) { return true; });
    }
    ArchiveWriter writer;
    ProgressJob job{&writer, nullptr};
    gui::JobWatch watch;
};

TEST_P(ProgressDialogTest, TheTemplateAsStored) {
    const gui::DialogTemplate t = gui::readTemplate(GetModuleHandleW(nullptr), ids().dialog);
    ASSERT_TRUE(t.found);
    EXPECT_EQ(t.style & (WS_POPUP | DS_MODALFRAME), static_cast<DWORD>(WS_POPUP | DS_MODALFRAME));
    EXPECT_EQ(t.style & (WS_CAPTION | WS_SYSMENU), 0u) << "a caption or a system menu";
    EXPECT_EQ(t.width, 252);
    EXPECT_EQ(t.height, 54);
    EXPECT_EQ(t.caption, L"");
    EXPECT_EQ(t.font, L"Microsoft Sans Serif");
    EXPECT_EQ(t.pointSize, 8);
    ASSERT_EQ(t.items.size(), 3u);
    for (int id : {ids().status, ids().percent}) {
        const gui::TemplateItem* text = t.item(id);
        ASSERT_NE(text, nullptr) << id;
        EXPECT_EQ(text->windowClass, L"Static");
        EXPECT_EQ(text->style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));
        EXPECT_EQ(text->text, L"");
    }
    const gui::TemplateItem* bar = t.item(ids().bar);
    ASSERT_NE(bar, nullptr);
    // Class names are compared without regard to case (the resource compiler stores capitals).
    EXPECT_EQ(lstrcmpiW(bar->windowClass.c_str(), PROGRESS_CLASSW), 0);
    EXPECT_EQ(bar->style & (PBS_SMOOTH | WS_BORDER), static_cast<DWORD>(PBS_SMOOTH | WS_BORDER));
    EXPECT_EQ(bar->text, L"");
}

TEST_P(ProgressDialogTest, TheOpenDialogsLayoutAndPlacement) {
    HeldJob held(*this, ids());
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 120, 800, 600,
                                       nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(drive(
                  held.job,
                  [&](HWND d) {
                      ASSERT_TRUE(held.watch.waitUntilHeld());
                      const gui::DialogUnits size = gui::clientUnitsOf(d);
                      EXPECT_EQ(size.width, 252);
                      EXPECT_EQ(size.height, 54);
                      const struct {
                          int id;
                          gui::DialogUnits at;
                      } expected[] = {{ids().status, {7, 7, 238, 8}},
                                      {ids().percent, {7, 21, 238, 8}},
                                      {ids().bar, {7, 32, 238, 14}}};
                      for (const auto& e : expected) {
                          const gui::DialogUnits u = gui::unitsOf(d, e.id);
                          EXPECT_EQ(u.x, e.at.x) << e.id;
                          EXPECT_EQ(u.y, e.at.y) << e.id;
                          EXPECT_EQ(u.width, e.at.width) << e.id;
                          EXPECT_EQ(u.height, e.at.height) << e.id;
                          // Empty until the job reports.
                          EXPECT_EQ(gui::controlText(d, e.id), L"") << e.id;
                      }
                      const POINT dialogCentre = gui::centreOf(d),
                                  ownerCentre = gui::centreOf(owner);
                      EXPECT_NEAR(dialogCentre.x, ownerCentre.x, 1);
                      EXPECT_NEAR(dialogCentre.y, ownerCentre.y, 1);
                      held.watch.release();
                  },
                  owner),
              1);
    DestroyWindow(owner);
}

TEST_P(ProgressDialogTest, PressingAnywhereOnTheBodyDragsTheWindow) {
    HeldJob held(*this, ids());
    EXPECT_EQ(drive(held.job,
                    [&](HWND d) {
                        ASSERT_TRUE(held.watch.waitUntilHeld());
                        RECT start;
                        GetWindowRect(d, &start);
                        // On the status line, then on a bare spot below the bar: both move the
                        // window.
                        RECT status, client;
                        GetWindowRect(GetDlgItem(d, ids().status), &status);
                        GetClientRect(d, &client);
                        POINT bare = {client.right - 3, client.bottom - 3};
                        ClientToScreen(d, &bare);
                        const POINT grips[] = {
                            {(status.left + status.right) / 2, (status.top + status.bottom) / 2},
                            bare};
                        int dx = 0, dy = 0;
                        for (const POINT& grip : grips) {
                            // Only pointing at it moves nothing.
                            gui::moveMouseTo(grip.x + dx, grip.y + dy);
                            gui::moveMouseTo(grip.x + dx + 20, grip.y + dy + 10);
                            gui::moveMouseTo(grip.x + dx, grip.y + dy);
                            Sleep(100);
                            RECT now;
                            GetWindowRect(d, &now);
                            EXPECT_EQ(now.left, start.left + dx) << "moved without a press";
                            EXPECT_EQ(now.top, start.top + dy) << "moved without a press";

                            gui::pressLeftButton();
                            for (int step = 1; step <= 5; ++step) {
                                gui::moveMouseTo(grip.x + dx + 8 * step, grip.y + dy + 6 * step);
                            }
                            gui::releaseLeftButton();
                            Sleep(100);
                            dx += 40;
                            dy += 30;
                            GetWindowRect(d, &now);
                            EXPECT_EQ(now.left, start.left + dx);
                            EXPECT_EQ(now.top, start.top + dy);
                        }
                        held.watch.release();
                    }),
              1);
}

TEST_P(ProgressDialogTest, EscapeAndCloseRequestsAreIgnored) {
    HeldJob held(*this, ids());
    EXPECT_EQ(drive(held.job,
                    [&](HWND d) {
                        ASSERT_TRUE(held.watch.waitUntilHeld());
                        PostMessageW(d, WM_KEYDOWN, VK_ESCAPE, 1);
                        PostMessageW(d, WM_KEYUP, VK_ESCAPE, 0xC0000001);
                        PostMessageW(d, WM_CLOSE, 0, 0);
                        PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
                        SendMessageW(d, WM_COMMAND, IDCANCEL, 0);
                        Sleep(300);
                        EXPECT_TRUE(IsWindowVisible(d)) << "the dialog was closed";
                        held.watch.release();
                    }),
              1)
        << "the dialog ended with another result than the job's";
    EXPECT_EQ(held.writer.writeResult, kWriteOk);
}

INSTANTIATE_TEST_SUITE_P(Templates, ProgressDialogTest,
                         testing::Values(Template{&kExtractorTemplateWithWriter, "extractor"},
                                         Template{&kPluginProgressDialog, "plugin"}),
                         [](const testing::TestParamInfo<Template>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
