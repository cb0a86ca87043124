#include "common/archive/chunk_pipeline.h"

bool ChunkPipeline::start(File& out, uint32_t chunkBytes, PasswordCipher* cipher) {
    out_ = &out;
    cipher_ = cipher;
    chunkBytes_ = chunkBytes;
    failed_ = false;
    for (Slot& s : slots_) {
        if (!s.buffer.ensureCapacity(kLead + chunkBytes)) return false;
    }
    bool ready = queued_.create(0, kQueue);
    for (Slot& s : slots_) ready = ready && s.read.create(0, 1);
    started_ = ready && startThread(&ChunkPipeline::run, this, thread_);
    return true;
}

void ChunkPipeline::execute(const Command& c) {
    Slot& s = slots_[c.slot];
    if (c.op == Op::kRead) {
        // A read of no file only marks the point where the slot's earlier write is done.
        s.got = c.file != nullptr ? c.file->read(s.buffer.data + kLead, c.bytes) : 0;
        if (started_) s.read.post();
    } else if (c.op == Op::kWrite && !failed_ && c.bytes > 0) {
        // After a failure the rest is only drained: the run is abandoned anyway.
        if (c.encipher) cipher_->encryptBlocks(s.buffer.data + c.offset, c.bytes / 16);
        if (leaves_ != nullptr) leaves_->add(s.buffer.data + c.offset, c.bytes);
        if (out_->write(s.buffer.data + c.offset, c.bytes) != static_cast<int64_t>(c.bytes)) {
            failed_ = true;
        }
    }
}

void ChunkPipeline::enqueue(const Command& c) {
    if (!started_) {
        execute(c);
        return;
    }
    // At most three reads and three writes are ever outstanding, well inside the ring.
    queue_[head_ % kQueue] = c;
    ++head_;
    queued_.post();
}

void ChunkPipeline::queueRead(uint32_t chunkIndex) {
    const uint64_t start = uint64_t{chunkIndex} * chunkBytes_;
    const uint64_t left = fileSize_ - start;
    const uint32_t bytes = left < chunkBytes_ ? static_cast<uint32_t>(left) : chunkBytes_;
    enqueue({Op::kRead, (slot_ + chunkIndex) % kSlots, 0, bytes, file_});
}

void ChunkPipeline::beginFile(File& file, uint64_t size) {
    file_ = &file;
    fileSize_ = size;
    chunks_ = (size + chunkBytes_ - 1) / chunkBytes_;
    taken_ = 0;
    for (uint32_t i = 0; i < kSlots && i < chunks_; ++i) queueRead(i);
}

uint8_t* ChunkPipeline::next(uint32_t& bytes) {
    const uint64_t start = taken_ * chunkBytes_;
    const uint64_t left = fileSize_ - start;
    bytes = left < chunkBytes_ ? static_cast<uint32_t>(left) : chunkBytes_;
    current_ = slot_;
    Slot& s = slots_[current_];
    if (started_) s.read.wait();
    slot_ = (slot_ + 1) % kSlots;
    ++taken_;
    return s.got == static_cast<int64_t>(bytes) ? s.buffer.data : nullptr;
}

void ChunkPipeline::submit(uint32_t offset, uint32_t bytes, bool encipher) {
    enqueue({Op::kWrite, current_, offset, bytes, nullptr, encipher && cipher_ != nullptr});
    // The slot is free again once written: it takes the chunk three ahead, if the file has one.
    // Its index relative to the slot next() hands out next is two.
    if (taken_ + kSlots - 1 < chunks_) {
        const uint64_t chunk = taken_ + kSlots - 1;
        const uint64_t start = chunk * chunkBytes_;
        const uint64_t left = fileSize_ - start;
        const uint32_t n = left < chunkBytes_ ? static_cast<uint32_t>(left) : chunkBytes_;
        enqueue({Op::kRead, current_, 0, n, file_});
    }
}

void ChunkPipeline::waitForQueued(uint32_t slot) {
    // Commands run in order, so once this no-op read is done every earlier command is too.
    enqueue({Op::kRead, slot, 0, 0, nullptr});
    if (started_) slots_[slot].read.wait();
}

void ChunkPipeline::settle() {
    // No read is outstanding between files, so the next slot's semaphore is free to mark it.
    waitForQueued(slot_);
}

uint8_t* ChunkPipeline::claim() {
    current_ = slot_;
    waitForQueued(current_);
    slot_ = (slot_ + 1) % kSlots;
    return slots_[current_].buffer.data;
}

bool ChunkPipeline::finish() {
    if (started_) {
        enqueue({Op::kStop, 0, 0, 0, nullptr});
        joinThread(thread_);
        started_ = false;
    }
    return !failed_;
}

void ChunkPipeline::run(void* self) {
    ChunkPipeline& p = *static_cast<ChunkPipeline*>(self);
    for (;;) {
        p.queued_.wait();
        const Command c = p.queue_[p.tail_ % kQueue];
        ++p.tail_;
        if (c.op == Op::kStop) return;
        p.execute(c);
    }
}
