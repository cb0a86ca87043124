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

void LeafHasher::hash() {
    if (chunk_[1] != nullptr && bytes_[0] == bytes_[1]) {
        sha256Pair(chunk_[0], chunk_[1], bytes_[0], leaf_[0], leaf_[1]);
        return;
    }
    IntegrityTag::leafOf(chunk_[0], bytes_[0], leaf_[0]);
    if (chunk_[1] != nullptr) IntegrityTag::leafOf(chunk_[1], bytes_[1], leaf_[1]);
}

void LeafHasher::post(const uint8_t* first, uint32_t firstBytes, const uint8_t* second,
                      uint32_t secondBytes) {
    chunk_[0] = first;
    bytes_[0] = firstBytes;
    chunk_[1] = second;
    bytes_[1] = secondBytes;
    if (!threaded_) {
        hash();
        return;
    }
    posted_ = true;
    work_.post();
}

void LeafHasher::take(uint8_t* first, uint8_t* second) {
    if (threaded_ && posted_) {
        done_.wait();
        posted_ = false;
    }
    std::memcpy(first, leaf_[0], kIntegrityLeafSize);
    if (second != nullptr) std::memcpy(second, leaf_[1], kIntegrityLeafSize);
}

void LeafHasher::run(void* self) {
    LeafHasher& h = *static_cast<LeafHasher*>(self);
    for (;;) {
        h.work_.wait();
        if (h.stopping_) return;
        h.hash();
        h.done_.post();
    }
}
