// Writes the archive's data behind the writer: finished chunks go to a second thread that writes
// them in order, while the writer reads and enciphers the next ones, so the disk and the cipher
// work at the same time. The bytes written, and their order, are exactly those of writing each
// chunk in turn. Without a second thread (none could be had) each chunk is written at once.
#pragma once

#include <cstdint>

#include "common/archive/byte_buf.h"
#include "common/support/file_io.h"
#include "common/support/threads.h"

class BehindWriter {
  public:
    static constexpr uint32_t kSlots = 3;

    BehindWriter() = default;
    ~BehindWriter() { finish(); }
    BehindWriter(const BehindWriter&) = delete;
    BehindWriter& operator=(const BehindWriter&) = delete;

    // Slots of `slotBytes` bytes each, writing to `out`. False when not even one slot could be
    // had; a missing thread only means writing at once.
    bool start(File& out, uint32_t slotBytes);

    // The next free slot, waiting while all of them are queued for writing.
    uint8_t* acquire();
    // Queues `bytes` bytes at `offset` in the slot last acquired.
    void submit(uint32_t offset, uint32_t bytes);
    // Waits until everything queued is written and stops the thread. False if a write fell short
    // (now or earlier).
    bool finish();

  private:
    static void run(void* self);

    struct Slot {
        ByteBuf buffer;
        uint32_t offset = 0;
        uint32_t bytes = 0;
        bool stop = false;
    };

    File* out_ = nullptr;
    Slot slots_[kSlots];
    uint32_t next_ = 0;     // slot acquire hands out next
    uint32_t writing_ = 0;  // slot the thread writes next
    Semaphore free_, ready_;
    ThreadHandle thread_ = nullptr;
    bool failed_ = false;  // set by the writing side, read after it is joined or in line
    bool started_ = false;
};
