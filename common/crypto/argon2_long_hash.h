// H', the variable-length hash of the memory-hard derivation: BLAKE2b for up to 64 bytes, and
// for longer outputs a chain of 64-byte BLAKE2b digests of which each gives its first half, the
// last one all of itself. It makes the first two blocks of every lane (1024 bytes) and the tag.
#pragma once

#include <cstddef>
#include <cstdint>

// `outLength` bytes (at least 1) of H' over `length` bytes at `data`, the output length itself
// prefixed as the algorithm asks. Intermediate digests are wiped.
void argon2LongHash(uint8_t* out, uint32_t outLength, const uint8_t* data, std::size_t length);
