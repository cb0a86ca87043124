// The extractor that sfxtool puts in front of self-extracting archives, when one is built in.
#pragma once

#include <cstdint>
#include <vector>

// False when this sfxtool carries no extractor.
bool embeddedStub(std::vector<uint8_t>& bytes);
