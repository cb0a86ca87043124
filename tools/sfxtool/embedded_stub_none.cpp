#include "tools/sfxtool/embedded_stub.h"

// A native build made before the Windows extractor existed: archives need --plain or --stub.
bool embeddedStub(std::vector<uint8_t>&) {
    return false;
}
