// The writer's side of the integrity record's leaves: takes the data stream's ciphertext in
// pieces of any size, as it is written, cuts it into 512 KiB chunks and hashes them two at a
// time side by side (sha256Pair), which the processor's SHA instructions do in little more than
// the time of one. The two chunks are held in a buffer of their own, so the writer's slots are
// free again as soon as they are written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/archive/byte_buf.h"
#include "common/archive/integrity_record.h"

class LeafStager {
  public:
    // Leaves go to `tag`, in order. False when the buffer cannot be had.
    bool start(IntegrityTag& tag);
    void add(const uint8_t* data, std::size_t length);
    // The leaves of what is still held: the last chunks, the very last one shorter.
    void finish();

  private:
    ByteBuf held_;
    uint32_t fill_ = 0;
    IntegrityTag* tag_ = nullptr;
};
