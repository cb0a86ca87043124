// The Linux sfxtool carries the Windows extractor built by the cross build, assembled straight
// into its read-only data (the build names the file, as a string, in QUILLON_STUB_PATH and rebuilds
// this file whenever the extractor changes).
#include "tools/sfxtool/embedded_stub.h"

asm(".pushsection .rodata\n"
    ".balign 16\n"
    "quillon_stub_begin:\n"
    ".incbin \"" QUILLON_STUB_PATH
    "\"\n"
    "quillon_stub_end:\n"
    ".popsection\n");

extern "C" const uint8_t quillon_stub_begin[];
extern "C" const uint8_t quillon_stub_end[];

bool embeddedStub(std::vector<uint8_t>& bytes) {
    const uint8_t* begin = quillon_stub_begin;
    const uint8_t* end = quillon_stub_end;
    if (end <= begin) return false;
    bytes.assign(begin, end);
    return true;
}
