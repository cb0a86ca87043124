// Where the extractor placed in front of a self-extracting archive comes from: on Windows the
// raw-data resource TRV_SFX of a module (the plug-in carries the extractor that way), elsewhere
// only bytes a front end hands over itself (sfxtool embeds or reads the extractor).
#pragma once

#include <cstdint>

#include "common/support/platform_types.h"

struct StubImage {
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
};

// The TRV_SFX resource of the module, or an empty image when it has none.
StubImage stubResourceOf(ModuleHandle module);
