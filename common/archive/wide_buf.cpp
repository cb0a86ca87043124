#include "common/archive/wide_buf.h"

#include <cstring>

#include "common/support/code_page.h"

uint32_t WideBuf::length() const {
    uint32_t n = 0;
    if (data != nullptr) {
        while (n < capacity && data[n] != 0) ++n;
    }
    return n;
}

WideBuf& WideBuf::assign(const char16_t* text) {
    if (text == nullptr) {
        ensureCapacity(0);
        return *this;
    }
    uint32_t len = wideLength(text);
    if (data != nullptr && text >= data && text < data + capacity) {
        // Our own text (or a tail of it): emptying first would destroy the source.
        std::memmove(data, text, len * sizeof(char16_t));
        secureZero(data + len, (capacity - len) * sizeof(char16_t));
        return *this;
    }
    if (len == UINT32_MAX || !ensureCapacity(len + 1)) return *this;
    std::memcpy(data, text, (len + 1) * sizeof(char16_t));
    return *this;
}

WideBuf& WideBuf::append(const char16_t* text) {
    if (text == nullptr || data == nullptr) return *this;
    uint32_t have = length();
    uint32_t add = wideLength(text);
    if (static_cast<uint64_t>(add) + 1 > capacity - have) {
        uint64_t grown = static_cast<uint64_t>(capacity) + add + 1;
        if (grown * sizeof(char16_t) > UINT32_MAX) return *this;
        // Grow by hand rather than through ensureCapacity, which empties: the new storage is
        // filled before the old is wiped, so nothing is lost if the allocation fails.
        char16_t* bigger = new (std::nothrow) char16_t[grown]();
        if (bigger == nullptr) return *this;
        // The text may lie in our own storage, so it is copied before the old storage goes.
        std::memcpy(bigger, data, have * sizeof(char16_t));
        std::memcpy(bigger + have, text, add * sizeof(char16_t));
        release();
        data = bigger;
        capacity = static_cast<uint32_t>(grown);
        return *this;
    }
    std::memmove(data + have, text, add * sizeof(char16_t));
    data[have + add] = 0;
    return *this;
}

const char16_t* listedNameAt(const WideBuf& list, uint32_t& offset) {
    if (list.data == nullptr || offset >= list.capacity || list.data[offset] == 0) return nullptr;
    const char16_t* name = list.data + offset;
    while (offset < list.capacity && list.data[offset] != 0) ++offset;
    if (offset >= list.capacity) return nullptr;  // no terminator inside the buffer
    ++offset;
    return name;
}
