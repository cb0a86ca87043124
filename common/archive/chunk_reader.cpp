#include "common/archive/chunk_reader.h"

#include <cstring>

ChunkReader::~ChunkReader() {
    if (!threaded_) return;
    if (posted_) done_.wait();
    stopping_ = true;
    work_.post();
    joinThread(thread_);
}

void ChunkReader::start(File& archive, bool hashing) {
    archive_ = &archive;
    hashing_ = hashing;
    threaded_ =
        work_.create(0, 1) && done_.create(0, 1) && startThread(&ChunkReader::run, this, thread_);
}

void ChunkReader::work() {
    read_ = archive_->read(chunk_, bytes_) == static_cast<int64_t>(bytes_);
    if (read_ && hashing_) IntegrityTag::leafOf(chunk_, bytes_, leaf_);
}

void ChunkReader::post(uint8_t* into, uint32_t bytes) {
    chunk_ = into;
    bytes_ = bytes;
    posted_ = true;
    if (!threaded_) {
        work();
        return;
    }
    work_.post();
}

bool ChunkReader::take(uint8_t* leaf) {
    if (threaded_ && posted_) done_.wait();
    posted_ = false;
    if (read_ && hashing_) std::memcpy(leaf, leaf_, sizeof leaf_);
    return read_;
}

void ChunkReader::run(void* self) {
    ChunkReader& r = *static_cast<ChunkReader*>(self);
    for (;;) {
        r.work_.wait();
        if (r.stopping_) return;
        r.work();
        r.done_.post();
    }
}
