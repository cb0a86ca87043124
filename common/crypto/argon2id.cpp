#include "common/crypto/argon2id.h"

#include <cstdint>
#include <new>

#include "common/crypto/argon2_block.h"
#include "common/crypto/argon2_long_hash.h"
#include "common/crypto/argon2_segment.h"
#include "common/crypto/blake2b.h"
#include "common/support/secure_zero.h"
#include "common/support/threads.h"

namespace {

constexpr std::size_t kInitialHashBytes = 64;

// Bytes that hold something derived from the password, wiped however the scope is left.
template <std::size_t N>
struct SecretBytes {
    uint8_t bytes[N];
    SecretBytes() = default;
    ~SecretBytes() { secureZero(bytes, N); }
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
};

// The derivation's memory: taken without throwing, wiped and released with the scope.
class Memory {
  public:
    explicit Memory(std::size_t blocks)
        : blocks_(new (std::nothrow) Argon2Block[blocks]), count_(blocks) {}
    ~Memory() {
        if (blocks_ == nullptr) return;
        secureZero(blocks_, count_ * sizeof(Argon2Block));
        delete[] blocks_;
    }
    Memory(const Memory&) = delete;
    Memory& operator=(const Memory&) = delete;

    Argon2Block* blocks() const { return blocks_; }

  private:
    Argon2Block* blocks_;
    std::size_t count_;
};

bool fitsWord(std::size_t length) {
#if SIZE_MAX > 0xFFFFFFFFu
    return length <= 0xFFFFFFFFu;
#else
    (void)length;  // every length fits where size_t is 32 bits wide
    return true;
#endif
}

// A byte string that may be absent only when it is empty, and whose length fits the 32-bit
// field it is hashed behind.
bool validString(const uint8_t* bytes, std::size_t length) {
    return (bytes != nullptr || length == 0) && fitsWord(length);
}

bool validInputs(const Argon2Inputs& in, std::size_t tagLength) {
    return validString(in.password, in.passwordLength) && in.salt != nullptr &&
           in.saltLength >= kArgon2MinSaltBytes && fitsWord(in.saltLength) &&
           validString(in.secret, in.secretLength) &&
           validString(in.associatedData, in.associatedDataLength) &&
           tagLength >= kArgon2MinTagBytes && tagLength <= kArgon2MaxTagBytes;
}

void hashString(Blake2b& hash, const uint8_t* bytes, std::size_t length) {
    hash.updateWord(static_cast<uint32_t>(length));
    hash.update(bytes, length);
}

// H0: every input and every parameter, so that changing any one of them changes all the memory.
// The cost goes in as the caller gave it, before the memory is rounded down.
void initialHash(const Argon2Inputs& in, const Argon2Cost& cost, uint32_t tagLength, uint8_t* out) {
    Blake2b hash;
    (void)hash.init(kInitialHashBytes);
    hash.updateWord(cost.lanes);
    hash.updateWord(tagLength);
    hash.updateWord(cost.memoryKiB);
    hash.updateWord(cost.passes);
    hash.updateWord(kArgon2Version);
    hash.updateWord(kArgon2idType);
    hashString(hash, in.password, in.passwordLength);
    hashString(hash, in.salt, in.saltLength);
    hashString(hash, in.secret, in.secretLength);
    hashString(hash, in.associatedData, in.associatedDataLength);
    hash.finish(out);
}

void putWord(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Blocks 0 and 1 of every lane: H'(H0 || column || lane) at 1024 bytes.
void seedLanes(const Argon2Layout& layout, const uint8_t* h0) {
    SecretBytes<kInitialHashBytes + 8> seed;
    SecretBytes<kArgon2BlockBytes> bytes;
    for (std::size_t i = 0; i < kInitialHashBytes; ++i) seed.bytes[i] = h0[i];
    for (uint32_t lane = 0; lane < layout.lanes; ++lane) {
        for (uint32_t column = 0; column < 2; ++column) {
            putWord(seed.bytes + kInitialHashBytes, column);
            putWord(seed.bytes + kInitialHashBytes + 4, lane);
            argon2LongHash(bytes.bytes, kArgon2BlockBytes, seed.bytes, sizeof seed.bytes);
            argon2LoadBlock(layout.blocks[std::size_t{lane} * layout.laneLength + column],
                            bytes.bytes);
        }
    }
}

struct SegmentJob {
    const Argon2Layout* layout;
    uint32_t pass;
    uint32_t slice;
    uint32_t lane;
};

void fillJob(void* argument) {
    const SegmentJob& job = *static_cast<const SegmentJob*>(argument);
    argon2FillSegment(*job.layout, job.pass, job.slice, job.lane);
}

// Every pass, slice by slice. Within a slice the lanes are independent: lane 0 runs here and
// the others on threads of their own; a lane whose thread could not be started runs here too,
// after lane 0. All of them end before the next slice starts, which may read any of them.
void fillMemory(const Argon2Layout& layout, Argon2Lanes mode) {
    SegmentJob jobs[kArgon2MaxLanes];
    ThreadHandle threads[kArgon2MaxLanes];
    bool started[kArgon2MaxLanes];
    for (uint32_t pass = 0; pass < layout.passes; ++pass) {
        for (uint32_t slice = 0; slice < kArgon2Slices; ++slice) {
            for (uint32_t lane = 0; lane < layout.lanes; ++lane) {
                jobs[lane] = {&layout, pass, slice, lane};
                threads[lane] = nullptr;
                started[lane] = lane > 0 && mode == Argon2Lanes::kOnThreads &&
                                startThread(fillJob, &jobs[lane], threads[lane]);
            }
            for (uint32_t lane = 0; lane < layout.lanes; ++lane) {
                if (!started[lane]) fillJob(&jobs[lane]);
            }
            for (uint32_t lane = 0; lane < layout.lanes; ++lane) {
                if (started[lane]) joinThread(threads[lane]);
            }
        }
    }
}

// The tag: H' of the XOR of every lane's last block.
void finish(const Argon2Layout& layout, uint8_t* tag, uint32_t tagLength) {
    Argon2Block last;
    const Argon2Block* const end = layout.blocks + layout.laneLength - 1;
    for (std::size_t i = 0; i < kArgon2BlockWords; ++i) last.v[i] = end->v[i];
    for (uint32_t lane = 1; lane < layout.lanes; ++lane) {
        const Argon2Block& other = end[std::size_t{lane} * layout.laneLength];
        for (std::size_t i = 0; i < kArgon2BlockWords; ++i) last.v[i] ^= other.v[i];
    }
    SecretBytes<kArgon2BlockBytes> bytes;
    argon2StoreBlock(last, bytes.bytes);
    secureZeroObject(last);
    argon2LongHash(tag, tagLength, bytes.bytes, sizeof bytes.bytes);
}

}  // namespace

bool argon2CostAcceptable(const Argon2Cost& cost) {
    return cost.lanes >= kArgon2MinLanes && cost.lanes <= kArgon2MaxLanes &&
           cost.passes >= kArgon2MinPasses && cost.passes <= kArgon2MaxPasses &&
           cost.memoryKiB >= kArgon2MinMemoryKiBPerLane * cost.lanes &&
           cost.memoryKiB <= kArgon2MaxMemoryKiB;
}

Argon2Result argon2id(const Argon2Inputs& inputs, const Argon2Cost& cost, uint8_t* tag,
                      std::size_t tagLength, Argon2Lanes lanes) {
    if (tag == nullptr) return kArgon2BadParameters;
    secureZero(tag, tagLength);
    if (!validInputs(inputs, tagLength) || !argon2CostAcceptable(cost)) {
        return kArgon2BadParameters;
    }

    // m' = 4p * floor(m / 4p): whole segments of at least two blocks in every lane.
    const uint32_t segmentLength = cost.memoryKiB / (kArgon2Slices * cost.lanes);
    const uint32_t laneLength = segmentLength * kArgon2Slices;
    const uint32_t blockCount = laneLength * cost.lanes;
    Memory memory(blockCount);
    if (memory.blocks() == nullptr) return kArgon2OutOfMemory;
    Argon2CompressFunction compress = argon2VectorCompress();
    if (compress == nullptr) compress = argon2Compress;
    const Argon2Layout layout = {memory.blocks(), blockCount,  cost.lanes, laneLength,
                                 segmentLength,   cost.passes, compress};

    {
        SecretBytes<kInitialHashBytes> h0;
        initialHash(inputs, cost, static_cast<uint32_t>(tagLength), h0.bytes);
        seedLanes(layout, h0.bytes);
    }
    fillMemory(layout, lanes);
    finish(layout, tag, static_cast<uint32_t>(tagLength));
    return kArgon2Ok;
}

Argon2Result argon2idDerive(const uint8_t* password, std::size_t passwordLength,
                            const uint8_t* salt, std::size_t saltLength, const Argon2Cost& cost,
                            uint8_t* out, std::size_t outLength) {
    Argon2Inputs inputs;
    inputs.password = password;
    inputs.passwordLength = passwordLength;
    inputs.salt = salt;
    inputs.saltLength = saltLength;
    return argon2id(inputs, cost, out, outLength);
}
