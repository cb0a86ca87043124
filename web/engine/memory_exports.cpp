// Memory the script fills and reads: passwords, names, chunks of data on their way through the
// cipher. Every block is wiped before it is released, since any of them may have held a secret.
#include <cstdint>
#include <new>

#include "common/support/secure_zero.h"
#include "web/engine/exports.h"

QUILLON_EXPORT(qn_alloc) uint8_t* qnAlloc(uint32_t bytes) {
    return new (std::nothrow) uint8_t[bytes > 0 ? bytes : 1];
}

QUILLON_EXPORT(qn_free) void qnFree(uint8_t* block, uint32_t bytes) {
    if (block == nullptr) return;
    secureZero(block, bytes);
    delete[] block;
}
