// Heap storage that is wiped with zeros whenever it is given up or reused. Both buffers of the
// system build on it, because they carry passwords, paths and plaintext file data.
#pragma once

#include <cstdint>
#include <new>

#include "common/support/secure_zero.h"

template <typename T, uint32_t Width>
struct ZeroedStorage {
    static constexpr uint32_t kDefaultCapacity = 520;

    T* data = nullptr;      // null only when an allocation failed
    uint32_t capacity = 0;  // in elements; never shrinks
    uint32_t width = Width;

    ZeroedStorage() { obtain(kDefaultCapacity); }
    ~ZeroedStorage() { release(); }

    // Wipes and gives up the storage now; the buffer is left without any (as after a failed
    // allocation) until the next ensureCapacity.
    void destroy() { release(); }
    ZeroedStorage(const ZeroedStorage&) = delete;
    ZeroedStorage& operator=(const ZeroedStorage&) = delete;

    // Makes room for n elements and, in every case, empties the storage (so ensureCapacity(0)
    // clears without releasing). Returns whether storage exists.
    bool ensureCapacity(uint32_t n) {
        if (capacity < n) {
            release();
            obtain(n);
        }
        secureZero(data, sizeBytes());
        return data != nullptr;
    }

  protected:
    uint32_t sizeBytes() const { return capacity * static_cast<uint32_t>(sizeof(T)); }

    // Fresh, zeroed storage of n elements; a size that does not fit 32 bits of bytes fails.
    bool obtain(uint32_t n) {
        if (static_cast<uint64_t>(n) * sizeof(T) > UINT32_MAX) return false;
        data = new (std::nothrow) T[n == 0 ? 1 : n]();
        capacity = data != nullptr ? n : 0;
        return data != nullptr;
    }

    void release() {
        secureZero(data, sizeBytes());
        delete[] data;
        data = nullptr;
        capacity = 0;
    }
};
