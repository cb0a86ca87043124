#include "common/crypto/argon2_segment.h"

#include "common/support/secure_zero.h"
#include "common/support/stack_wipe.h"

namespace {

constexpr uint32_t kAddressesPerBlock = kArgon2BlockWords;

// The password-independent stream of reference positions: each block of it is
// G(0, G(0, input)), where the input block names the segment and counts up from 1.
struct AddressStream {
    Argon2Block input;
    Argon2Block addresses;
};

const Argon2Block kZeroBlock = {};

void nextAddresses(const Argon2Layout& layout, AddressStream& stream, Argon2Block& scratch) {
    ++stream.input.v[6];
    layout.compress(kZeroBlock, stream.input, stream.addresses, false, scratch);
    layout.compress(kZeroBlock, stream.addresses, stream.addresses, false, scratch);
}

// Where in lane `sameLane ? own : other` the block at `index` of the segment refers to. The
// candidates are the blocks already finished that are not being written now: in the first pass
// everything before this slice (and before this block in its own lane), later the three other
// slices of the lane, starting after this one, plus what this segment has made so far. The block
// just before the current one is left out (it is the other input anyway), and so is the last
// block of another lane's previous slice while the current block is the segment's first (it is
// being written at the same moment). The low 32 bits of the pseudo-random word pick among the
// candidates with a bias toward the most recent.
uint32_t referenceIndex(const Argon2Layout& layout, uint32_t pass, uint32_t slice, uint32_t index,
                        uint32_t random, bool sameLane) {
    uint32_t finished;  // blocks eligible before the exclusions
    if (pass == 0) {
        finished = slice * layout.segmentLength;
    } else {
        finished = layout.laneLength - layout.segmentLength;
    }
    uint32_t candidates;
    if (sameLane) {
        candidates = finished + index - 1;
    } else {
        candidates = finished - (index == 0 ? 1 : 0);
    }
    const uint64_t square = (uint64_t{random} * random) >> 32;
    const uint32_t back = static_cast<uint32_t>((uint64_t{candidates} * square) >> 32);
    const uint32_t relative = candidates - 1 - back;
    uint32_t start = 0;
    if (pass != 0 && slice != kArgon2Slices - 1) start = (slice + 1) * layout.segmentLength;
    return (start + relative) % layout.laneLength;
}

// How far below argon2FillSegment the compression's frames reach: the sixteen words of a round
// spill on i686, a few hundred bytes.
constexpr std::size_t kCompressionStackBytes = 1024;

}  // namespace

void argon2FillSegment(const Argon2Layout& layout, uint32_t pass, uint32_t slice, uint32_t lane) {
    const bool independent = pass == 0 && slice < kArgon2Slices / 2;
    Argon2Block scratch;
    AddressStream stream = {};
    if (independent) {
        stream.input.v[0] = pass;
        stream.input.v[1] = lane;
        stream.input.v[2] = slice;
        stream.input.v[3] = layout.blockCount;
        stream.input.v[4] = layout.passes;
        stream.input.v[5] = kArgon2idType;
    }
    // The first two blocks of each lane come from the password, not from G.
    uint32_t first = 0;
    if (pass == 0 && slice == 0) {
        first = 2;
        if (independent) nextAddresses(layout, stream, scratch);
    }

    Argon2Block* const own = layout.blocks + std::size_t{lane} * layout.laneLength;
    uint32_t column = slice * layout.segmentLength + first;
    for (uint32_t i = first; i < layout.segmentLength; ++i, ++column) {
        const Argon2Block& prev = own[column == 0 ? layout.laneLength - 1 : column - 1];
        uint64_t random;
        if (independent) {
            if (i % kAddressesPerBlock == 0) nextAddresses(layout, stream, scratch);
            random = stream.addresses.v[i % kAddressesPerBlock];
        } else {
            random = prev.v[0];
        }
        // The high half picks the lane, except in the very first slice, where the other lanes
        // have nothing yet.
        uint32_t refLane = static_cast<uint32_t>(random >> 32) % layout.lanes;
        if (pass == 0 && slice == 0) refLane = lane;
        const uint32_t refIndex =
            referenceIndex(layout, pass, slice, i, static_cast<uint32_t>(random), refLane == lane);
        const Argon2Block& ref = layout.blocks[std::size_t{refLane} * layout.laneLength + refIndex];
        layout.compress(prev, ref, own[column], pass != 0, scratch);
    }
    secureZeroObject(scratch);
    secureZeroObject(stream);
    wipeStack<kCompressionStackBytes>();
}
