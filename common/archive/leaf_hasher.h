// The reader's helper for the integrity record: hashes the data stream's ciphertext chunks into
// their leaves on a thread of its own, two chunks at a time (side by side, which the processor's
// SHA instructions do in little more than the time of one), while the reader deciphers and
// writes the two before them. Without a second thread (none could be had, or the browser) the
// leaves are computed in line when the chunks are posted.
#pragma once

#include <cstdint>

#include "common/archive/integrity_record.h"
#include "common/support/threads.h"

class LeafHasher {
  public:
    LeafHasher() = default;
    // Takes any leaves still being computed and stops the thread, so no posted chunk is read
    // after its owner frees it.
    ~LeafHasher();
    LeafHasher(const LeafHasher&) = delete;
    LeafHasher& operator=(const LeafHasher&) = delete;

    // Starts the thread; without one the work is done in line.
    void start();
    // Begins the leaves of one or two chunks (`second` may be null), whose bytes stay untouched
    // until take(). Every post is followed by a take.
    void post(const uint8_t* first, uint32_t firstBytes, const uint8_t* second,
              uint32_t secondBytes);
    // Waits for the leaves of the chunks last posted (`second` only when two were).
    void take(uint8_t* first, uint8_t* second);

  private:
    static void run(void* self);
    void hash();

    const uint8_t* chunk_[2] = {};
    uint32_t bytes_[2] = {};
    bool posted_ = false;
    bool stopping_ = false;
    bool threaded_ = false;
    uint8_t leaf_[2][kIntegrityLeafSize] = {};
    Semaphore work_;  // posted when there are chunks (or the stop) for the thread
    Semaphore done_;  // posted when their leaves are ready
    ThreadHandle thread_ = nullptr;
};
