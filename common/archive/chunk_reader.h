// The reader's data path on a second thread: it reads the data stream a chunk ahead and, when
// the archive carries an integrity record, hashes that chunk's ciphertext into its leaf, while
// the reader deciphers and writes out the chunk before. So the archive's disk, the cipher, the
// output's disk and the hash all work at once, and checking costs little time. Without a second
// thread (none could be had, or the browser) every chunk is read and hashed in line when posted.
#pragma once

#include <cstdint>

#include "common/archive/integrity_record.h"
#include "common/support/file_io.h"
#include "common/support/threads.h"

class ChunkReader {
  public:
    ChunkReader() = default;
    // Takes any chunk still being read and stops the thread, so no posted buffer is touched
    // after its owner frees it.
    ~ChunkReader();
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // Reads from `archive`, at its current position; `hashing`: compute each chunk's leaf.
    // Starts the thread; without one the work is done in line.
    void start(File& archive, bool hashing);
    // Begins reading the next `bytes` bytes of the archive into `into`, which stays untouched
    // until take(). One chunk at a time: every post is followed by a take.
    void post(uint8_t* into, uint32_t bytes);
    // Waits for the chunk last posted. False when it could not be read whole; otherwise, when
    // hashing, `leaf` receives its leaf.
    bool take(uint8_t* leaf);

  private:
    static void run(void* self);
    void work();

    File* archive_ = nullptr;
    uint8_t* chunk_ = nullptr;
    uint32_t bytes_ = 0;
    bool read_ = false;  // the chunk last posted was read whole
    bool hashing_ = false;
    bool posted_ = false;
    bool stopping_ = false;
    bool threaded_ = false;
    uint8_t leaf_[kIntegrityLeafSize] = {};
    Semaphore work_;  // posted when there is a chunk (or the stop) for the thread
    Semaphore done_;  // posted when it is read and its leaf ready
    ThreadHandle thread_ = nullptr;
};
