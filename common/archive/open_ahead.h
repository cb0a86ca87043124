// The writer opens every listed file twice, once to check it (the scan) and once to store it,
// and for small files opening and closing cost more than reading. Two threads of their own
// open the files ahead of the writer, in list order, taking turns a batch each, and close them
// when their entries come round again, so the writer only looks at and reads them. Files are handed
// over a batch at a time, so the threads meet once per batch rather than once per file. Without
// threads (none could be had) each file is opened in line, when it is taken.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/archive/wide_buf.h"
#include "common/support/file_io.h"
#include "common/support/threads.h"

// Opens the listed `name` into `file`, with `path` as room for its full path; false when it
// cannot be opened (the system's error is then the thread's last one).
using ListedOpener = bool (*)(void* context, const char16_t* name, File& file, WideBuf& path);

class OpenAhead {
  public:
    struct Opened {
        File file;
        const char16_t* name = nullptr;  // the listed name; null past the list's end
        uint32_t offset = 0;             // where the name starts in the list
        uint32_t error = 0;              // the system's last error after opening it
        bool opened = false;
    };

    OpenAhead() = default;
    ~OpenAhead() { stop(); }
    OpenAhead(const OpenAhead&) = delete;
    OpenAhead& operator=(const OpenAhead&) = delete;

    // Opens, in order, the `count` names of `list` that start at `offsets` (which must stay
    // as they are until stop()). Once per object.
    void start(const WideBuf& list, const uint32_t* offsets, uint32_t count, ListedOpener open,
               void* context);
    // The next file, opened or not. It stays the caller's (its file open as long as the caller
    // needs it) until the next take() or stop(). Past the end, or at a name the list lacks, an
    // entry without a name.
    Opened& take();
    // Stops the threads and closes every file they opened.
    void stop();

  private:
    static constexpr uint32_t kBatch = 64;
    static constexpr uint32_t kThreads = 2;
    static constexpr uint32_t kBatches = 2 * kThreads;  // in the ring; each thread has two

    struct Opener {
        OpenAhead* owner = nullptr;
        uint32_t first = 0;  // the batch it opens first; then every kThreads-th
        WideBuf path;
        Semaphore ready;  // posted for each batch it opened
        Semaphore free;   // posted for each of its batches the writer is done with
        ThreadHandle thread = nullptr;
        bool running = false;
    };

    static void run(void* self);
    void openInto(Opened& e, uint32_t index, WideBuf& path);

    Opened entries_[kBatch * kBatches];
    Opened end_;  // what take() gives past the end
    Opener openers_[kThreads];
    WideBuf path_;  // for opening in line
    std::atomic<bool> stopping_{false};
    bool threaded_ = false;
    const WideBuf* list_ = nullptr;
    const uint32_t* offsets_ = nullptr;
    ListedOpener open_ = nullptr;
    void* context_ = nullptr;
    uint32_t count_ = 0;
    uint32_t taken_ = 0;
};
