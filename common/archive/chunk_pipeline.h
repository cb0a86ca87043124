// The writer's data path on two threads: a second thread reads the next chunks of a file ahead
// and writes finished chunks behind, in order, while the writer enciphers the current one, so
// the disk and the cipher work at the same time. The bytes read and written, and their order,
// are exactly those of reading, enciphering and writing each chunk in turn. Without a second
// thread (none could be had) every read and write happens at once, in line.
//
// Small files do not go through the read-ahead: the writer reads them itself into a slot it
// claims, many to a slot, so a whole chunk of them costs one write and one hand-off instead of
// a read, a write and their hand-offs per file. Such a chunk is enciphered on the second thread
// too, so the writer only opens and reads files while the chain of blocks goes on behind it;
// before the writer enciphers anything itself again it waits for the thread (settle()).
#pragma once

#include <cstdint>

#include "common/archive/byte_buf.h"
#include "common/archive/leaf_stager.h"
#include "common/crypto/password_cipher.h"
#include "common/support/file_io.h"
#include "common/support/threads.h"

class ChunkPipeline {
  public:
    static constexpr uint32_t kSlots = 3;
    // Room before each chunk, where bytes carried over from the last chunk go.
    static constexpr uint32_t kLead = 16;

    ChunkPipeline() = default;
    ~ChunkPipeline() { finish(); }
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    // Slots for chunks of up to `chunkBytes`, written to `out`. False when the slots cannot be
    // had; a missing thread only means working in line.
    bool start(File& out, uint32_t chunkBytes, PasswordCipher* cipher = nullptr);

    // Reads the whole of `file` in chunks of `chunkBytes` (the last one shorter), through the
    // slots. Call next() once per chunk, in order.
    void beginFile(File& file, uint64_t size);
    // The next chunk of the file begun: its bytes start at slot + kLead. Null when it could not
    // be read whole (the file failed or shrank).
    uint8_t* next(uint32_t& bytes);
    // Queues `bytes` bytes at `offset` in the slot next() or claim() last returned for writing;
    // with `encipher`, the thread enciphers them with the cipher given to start() first (whole
    // blocks, next in its chain).
    void submit(uint32_t offset, uint32_t bytes, bool encipher = false);
    // Waits until everything queued is done, so the cipher's chain is the caller's again.
    void settle();

    // A slot for the caller to fill itself (between files, never while one is being read
    // ahead): waits until its last write is done. Its chunk starts at slot + kLead, as next()'s.
    uint8_t* claim();

    // Every byte written from now on also goes to `leaves` (on the thread that writes), in
    // order.
    void hashWrites(LeafStager* leaves) { leaves_ = leaves; }

    // Waits for everything queued and stops the thread. False if a write fell short.
    bool finish();

  private:
    enum class Op : uint8_t { kRead, kWrite, kStop };
    struct Command {
        Op op;
        uint32_t slot;
        uint32_t offset;
        uint32_t bytes;
        File* file;
        bool encipher = false;  // a write: encipher the bytes first
    };
    struct Slot {
        ByteBuf buffer;
        int64_t got = 0;  // result of its last read
        Semaphore read;   // posted when that read is done
    };
    static constexpr uint32_t kQueue = 16;

    static void run(void* self);
    void execute(const Command& c);
    void enqueue(const Command& c);
    void queueRead(uint32_t chunkIndex);
    // Queues a no-op on `slot` and waits for it: every command queued before it is done.
    void waitForQueued(uint32_t slot);

    File* out_ = nullptr;
    PasswordCipher* cipher_ = nullptr;
    LeafStager* leaves_ = nullptr;
    File* file_ = nullptr;
    uint64_t fileSize_ = 0;
    uint64_t chunks_ = 0;  // chunks of the current file
    uint64_t taken_ = 0;   // of those, handed out by next()
    uint32_t chunkBytes_ = 0;
    uint32_t slot_ = 0;     // slot of the chunk next() hands out next
    uint32_t current_ = 0;  // slot next() last handed out
    Slot slots_[kSlots];
    Command queue_[kQueue];
    uint32_t head_ = 0, tail_ = 0;  // written by the caller, read by the thread
    Semaphore queued_;
    ThreadHandle thread_ = nullptr;
    bool failed_ = false;
    bool started_ = false;
};
