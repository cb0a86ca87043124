#include "common/archive/file_table.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "common/support/secure_zero.h"

template <typename T>
bool FileTable::addBlock(T**& blocks, uint32_t& used, uint32_t& room, uint32_t elements) {
    if (used == room) {
        // The list of blocks is small (a pointer per 256 KiB) and grows by doubling.
        const uint32_t wider = room == 0 ? 8 : 2 * room;
        T** list = new (std::nothrow) T*[wider]();
        if (list == nullptr) return false;
        if (blocks != nullptr) std::memcpy(list, blocks, std::size_t{used} * sizeof(T*));
        delete[] blocks;
        blocks = list;
        room = wider;
    }
    T* block = new (std::nothrow) T[elements]();
    if (block == nullptr) return false;
    blocks[used++] = block;
    return true;
}

bool FileTable::add(const char16_t* name, uint32_t chars, uint64_t size) {
    if (chars > kMaxNameChars || count_ == UINT32_MAX) return false;
    if (nameBlocks_ >= UINT32_MAX / kCharsPerBlock) return false;
    if (count_ == slotCapacity() && !addBlock(slots_, slotBlocks_, slotRoom_,
                                              slotBlocks_ == 0 ? kFirstSlots : kSlotsPerBlock)) {
        return false;
    }
    // A name never straddles two blocks.
    if (nameBlocks_ == 0 || chars + 1 > charsIn(nameBlocks_ - 1) - nameUsed_) {
        if (!addBlock(names_, nameBlocks_, nameRoom_, charsIn(nameBlocks_))) return false;
        nameUsed_ = 0;
    }
    char16_t* at = names_[nameBlocks_ - 1] + nameUsed_;
    std::memcpy(at, name, std::size_t{chars} * sizeof(char16_t));
    at[chars] = 0;
    Slot& s = slot(count_++);
    s.nameAt = (nameBlocks_ - 1) * kCharsPerBlock + nameUsed_;
    s.nameChars = static_cast<uint16_t>(chars);
    s.size = size;
    nameUsed_ += chars + 1;
    return true;
}

const char16_t* FileTable::nameOf(uint32_t index) const {
    const uint32_t at = slot(index).nameAt;
    return names_[at / kCharsPerBlock] + at % kCharsPerBlock;
}

FileEntry FileTable::at(uint32_t index) const {
    const Slot& s = slot(index);
    return FileEntry{2u * s.nameChars, s.size, nameOf(index)};
}

uint64_t FileTable::bytesHeld() const {
    const uint64_t chars =
        nameBlocks_ == 0 ? 0 : kFirstChars + uint64_t{nameBlocks_ - 1} * kCharsPerBlock;
    return uint64_t{slotCapacity()} * sizeof(Slot) + chars * sizeof(char16_t) +
           (uint64_t{slotRoom_} + nameRoom_) * sizeof(void*);
}

void FileTable::release() {
    for (uint32_t i = 0; i < slotBlocks_; ++i) {
        secureZero(slots_[i], std::size_t{i == 0 ? kFirstSlots : kSlotsPerBlock} * sizeof(Slot));
        delete[] slots_[i];
    }
    for (uint32_t i = 0; i < nameBlocks_; ++i) {
        secureZero(names_[i], std::size_t{charsIn(i)} * sizeof(char16_t));
        delete[] names_[i];
    }
    delete[] slots_;
    delete[] names_;
    slots_ = nullptr;
    names_ = nullptr;
    slotBlocks_ = slotRoom_ = nameBlocks_ = nameRoom_ = nameUsed_ = count_ = 0;
}
