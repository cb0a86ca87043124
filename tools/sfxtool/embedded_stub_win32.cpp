// The Windows sfxtool carries the extractor as its own TRV_SFX resource, like the plug-in.
#include <windows.h>

#include "common/archive/stub_image.h"
#include "tools/sfxtool/embedded_stub.h"

bool embeddedStub(std::vector<uint8_t>& bytes) {
    const StubImage image = stubResourceOf(GetModuleHandleW(nullptr));
    if (image.bytes == nullptr || image.size == 0) return false;
    bytes.assign(image.bytes, image.bytes + image.size);
    return true;
}
