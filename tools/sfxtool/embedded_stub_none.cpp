#include "tools/sfxtool/embedded_stub.h"

// The extractor program is not part of this build yet; archives need --plain or --stub.
bool embeddedStub(std::vector<uint8_t>&) {
    return false;
}
