// The AES lookup tables: S-box, inverse S-box, four forward and four inverse round tables and
// the round constants, computed from the field arithmetic of FIPS-197. They are built when the
// first key is set (every use of them follows a key schedule), not stored: the extractor that
// travels with every archive is 8 KiB smaller for it.
#pragma once

#include <cstdint>

struct AesTables {
    uint8_t sbox[256];
    uint8_t invSbox[256];
    // te[k][x]: the MixColumns column of S(x) standing in row k, as a little-endian column word.
    uint32_t te[4][256];
    // td[k][x]: the InvMixColumns column of InvS(x) standing in row k.
    uint32_t td[4][256];
    uint32_t rcon[10];
};

extern AesTables kAesTables;

// Builds the tables unless they are built. The key schedule calls it first, on the thread that
// sets the key, before any thread enciphers with that key.
void buildAesTables();
