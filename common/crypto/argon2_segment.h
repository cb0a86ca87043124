// Filling the memory of the memory-hard derivation, one segment at a time. The memory is p lanes
// of equal length side by side; each lane is cut into four slices, and a segment is one lane's
// part of one slice. The segments of one slice may be filled at the same time, in any order: a
// block only ever refers to blocks of its own lane or to slices already finished.
//
// Argon2id chooses the block each new block mixes with in two ways: in the first half of the
// first pass from a counter-driven stream that does not depend on the password (so its memory
// accesses reveal nothing of it), afterwards from the previous block's contents.
#pragma once

#include <cstdint>

#include "common/crypto/argon2_block.h"

constexpr uint32_t kArgon2Slices = 4;
constexpr uint32_t kArgon2Version = 0x13;
constexpr uint32_t kArgon2idType = 2;

struct Argon2Layout {
    Argon2Block* blocks;              // lane after lane, blockCount in all
    uint32_t blockCount;              // m', a multiple of 4p
    uint32_t lanes;                   // p
    uint32_t laneLength;              // m' / p
    uint32_t segmentLength;           // m' / 4p, at least 2
    uint32_t passes;                  // t
    Argon2CompressFunction compress;  // G, portable or vector
};

// Fills segment (pass, slice, lane). The first two blocks of every lane must be in place before
// pass 0, slice 0. Its own working blocks are wiped before it returns.
void argon2FillSegment(const Argon2Layout& layout, uint32_t pass, uint32_t slice, uint32_t lane);
