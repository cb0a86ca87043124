// Growable byte buffer that wipes its storage on release and reuse (default 520 bytes).
#pragma once

#include "common/archive/zeroed_storage.h"

struct ByteBuf : ZeroedStorage<uint8_t, 0> {};
