// The AES lookup tables: S-box, inverse S-box, four forward and four inverse round tables and
// the round constants, all computed at compile time from the field arithmetic of FIPS-197.
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

extern const AesTables kAesTables;
