#include "common/archive/stub_image.h"

// There are no resource modules here; front ends hand the stub bytes over themselves.
StubImage stubResourceOf(ModuleHandle) {
    return StubImage{};
}
