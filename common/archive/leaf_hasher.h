// The reader's helper for the integrity record: hashes each chunk of the data stream's
// ciphertext into its leaf on a thread of its own, so one chunk is deciphered and written while
// the next is hashed and checking costs little time. Without a second thread (none could be
// had, or the browser) every leaf is computed in line when its chunk is posted.
#pragma once

#include <cstdint>

#include "common/archive/integrity_record.h"
#include "common/support/threads.h"

class LeafHasher {
  public:
    LeafHasher() = default;
    // Takes any leaf still being computed and stops the thread, so no posted chunk is read
    // after its owner frees it.
    ~LeafHasher();
    LeafHasher(const LeafHasher&) = delete;
    LeafHasher& operator=(const LeafHasher&) = delete;

    // Starts the thread; without one the work is done in line.
    void start();
    // Begins the leaf of `bytes` bytes at `chunk`, which stay untouched until take(). One chunk
    // at a time: every post is followed by a take.
    void post(const uint8_t* chunk, uint32_t bytes);
    // Waits for the leaf of the chunk last posted.
    void take(uint8_t* leaf);

  private:
    static void run(void* self);

    const uint8_t* chunk_ = nullptr;
    uint32_t bytes_ = 0;
    bool posted_ = false;
    bool stopping_ = false;
    bool threaded_ = false;
    uint8_t leaf_[kIntegrityLeafSize] = {};
    Semaphore work_;  // posted when there is a chunk (or the stop) for the thread
    Semaphore done_;  // posted when its leaf is ready
    ThreadHandle thread_ = nullptr;
};
