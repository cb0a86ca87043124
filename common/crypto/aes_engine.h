// The two implementations of the bulk block routines: the portable table cipher, always there,
// and one with the processor's AES instructions, present when CPUID reports them. Both work on
// the same AesContext, so either can take over a chain the other started.
#pragma once

#include <cstddef>

#include "common/crypto/aes_context.h"
#include "common/support/stack_wipe.h"

struct AesEngine {
    const char* name;
    void (*encrypt)(AesContext& ctx, uint8_t* data, std::size_t blocks);
    void (*decrypt)(AesContext& ctx, uint8_t* data, std::size_t blocks);
};

// An engine's entry point: the cipher core, then a wipe of the stack it used. The cores keep
// the state in registers; what the compiler spills lands in their frame, which the wipe covers.
template <void (*Core)(AesContext&, uint8_t*, std::size_t)>
void withStackWipe(AesContext& ctx, uint8_t* data, std::size_t blocks) {
    Core(ctx, data, blocks);
    wipeStack();
}

const AesEngine& aesTableEngine();

// Null when the processor has no AES instructions.
const AesEngine* aesHardwareEngine();

// The engine in use: the hardware one when present, chosen once.
const AesEngine& aesEngine();
