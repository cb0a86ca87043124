// The stored files as the engine holds them, in table order: for each its name (a path relative
// to the folder extracted into) and its size, the values of its info record. Each file costs 16
// bytes and its name with a terminator, kept in blocks that are added as files are (never to a
// count an archive merely claims, and never copied to grow): a small first block, so an archive
// of a few files costs a few kilobytes, then blocks of 256 KiB, so an archive of 200,000 files
// needs a few megabytes and the table never holds much more than one and a half times the info
// block it came from. Names are paths, so everything is wiped before release.
#pragma once

#include <cstdint>

constexpr uint32_t kMaxNameChars = 259;  // a stored name holds at most this many characters
constexpr uint32_t kMaxNameBytes = 2 * kMaxNameChars;

// One stored file, as a view into its table: valid while the table lives.
struct FileEntry {
    uint32_t nameLength;  // bytes, twice the characters; at most kMaxNameBytes
    uint64_t size;
    const char16_t* name;  // zero-terminated
};

class FileTable {
  public:
    FileTable() = default;
    ~FileTable() { release(); }
    FileTable(const FileTable&) = delete;
    FileTable& operator=(const FileTable&) = delete;

    // Appends a file (the name of `chars` characters need not be terminated). False when the
    // name is too long or memory cannot be had; the table is unchanged then.
    bool add(const char16_t* name, uint32_t chars, uint64_t size);
    void setSize(uint32_t index, uint64_t size) { slot(index).size = size; }

    uint32_t count() const { return count_; }
    FileEntry at(uint32_t index) const;
    const char16_t* nameOf(uint32_t index) const;
    uint32_t charsOf(uint32_t index) const { return slot(index).nameChars; }
    uint64_t sizeOf(uint32_t index) const { return slot(index).size; }

    // Wipes and gives up everything.
    void release();
    // Bytes held, for the tests that bound memory.
    uint64_t bytesHeld() const;

  private:
    struct Slot {
        uint32_t nameAt;  // block * kCharsPerBlock + offset in that block
        uint16_t nameChars;
        uint16_t reserved;
        uint64_t size;
    };
    static constexpr uint32_t kFirstSlots = 256;  // the first block's, then kSlotsPerBlock
    static constexpr uint32_t kSlotsPerBlock = 16384;
    static constexpr uint32_t kFirstChars = 4096;  // the first block's, then kCharsPerBlock
    static constexpr uint32_t kCharsPerBlock = 131072;
    // An info block holds at most 4 GiB, so its names fit 2^31 characters and nameAt never wraps.
    static_assert(sizeof(Slot) == 16);

    Slot& slot(uint32_t i) const {
        if (i < kFirstSlots) return slots_[0][i];
        i -= kFirstSlots;
        return slots_[1 + i / kSlotsPerBlock][i % kSlotsPerBlock];
    }
    uint32_t slotCapacity() const {
        return slotBlocks_ == 0 ? 0 : kFirstSlots + (slotBlocks_ - 1) * kSlotsPerBlock;
    }
    static uint32_t charsIn(uint32_t block) { return block == 0 ? kFirstChars : kCharsPerBlock; }
    template <typename T>
    static bool addBlock(T**& blocks, uint32_t& used, uint32_t& room, uint32_t elements);

    Slot** slots_ = nullptr;  // blocks of kSlotsPerBlock
    uint32_t slotBlocks_ = 0, slotRoom_ = 0;
    char16_t** names_ = nullptr;  // blocks of kCharsPerBlock
    uint32_t nameBlocks_ = 0, nameRoom_ = 0;
    uint32_t nameUsed_ = 0;  // characters used in the last name block
    uint32_t count_ = 0;
};
