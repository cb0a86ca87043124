#include "common/archive/leaf_stager.h"

#include <cstring>

bool LeafStager::start(IntegrityTag& tag) {
    tag_ = &tag;
    fill_ = 0;
    return held_.ensureCapacity(2 * kIntegrityChunkSize);
}

void LeafStager::add(const uint8_t* data, std::size_t length) {
    constexpr uint32_t kPair = 2 * kIntegrityChunkSize;
    while (length > 0) {
        const std::size_t room = kPair - fill_;
        const std::size_t take = length < room ? length : room;
        std::memcpy(held_.data + fill_, data, take);
        fill_ += static_cast<uint32_t>(take);
        data += take;
        length -= take;
        if (fill_ == kPair) {
            uint8_t leaves[2][kIntegrityLeafSize];
            sha256Pair(held_.data, held_.data + kIntegrityChunkSize, kIntegrityChunkSize, leaves[0],
                       leaves[1]);
            tag_->addLeaf(leaves[0]);
            tag_->addLeaf(leaves[1]);
            fill_ = 0;
        }
    }
}

void LeafStager::finish() {
    uint8_t leaf[kIntegrityLeafSize];
    uint32_t at = 0;
    while (at < fill_) {
        const uint32_t left = fill_ - at;
        const uint32_t bytes = left < kIntegrityChunkSize ? left : kIntegrityChunkSize;
        IntegrityTag::leafOf(held_.data + at, bytes, leaf);
        tag_->addLeaf(leaf);
        at += bytes;
    }
    fill_ = 0;
}
