#include "common/archive/leaf_hasher.h"

#include <cstring>

LeafHasher::~LeafHasher() {
    if (!threaded_) return;
    if (posted_) done_.wait();
    stopping_ = true;
    work_.post();
    joinThread(thread_);
}

void LeafHasher::start() {
    threaded_ =
        work_.create(0, 1) && done_.create(0, 1) && startThread(&LeafHasher::run, this, thread_);
}

void LeafHasher::post(const uint8_t* chunk, uint32_t bytes) {
    if (!threaded_) {
        IntegrityTag::leafOf(chunk, bytes, leaf_);
        return;
    }
    chunk_ = chunk;
    bytes_ = bytes;
    posted_ = true;
    work_.post();
}

void LeafHasher::take(uint8_t* leaf) {
    if (threaded_ && posted_) {
        done_.wait();
        posted_ = false;
    }
    std::memcpy(leaf, leaf_, sizeof leaf_);
}

void LeafHasher::run(void* self) {
    LeafHasher& h = *static_cast<LeafHasher*>(self);
    for (;;) {
        h.work_.wait();
        if (h.stopping_) return;
        IntegrityTag::leafOf(h.chunk_, h.bytes_, h.leaf_);
        h.done_.post();
    }
}
