// The upper-case mapping Windows applies when it compares file names, kept as runs: the units
// first, first + stride, ... (count of them) map to themselves plus delta. Sorted by first;
// 6 bytes a run, since the table travels inside the extractor.
#pragma once

#include <cstdint>

struct UpcaseRun {
    uint16_t first;
    uint8_t count;
    uint8_t stride;
    uint16_t delta;  // added modulo 65536
};

extern const UpcaseRun kUpcaseRuns[];
extern const uint32_t kUpcaseRunCount;

// The upper-case form of one UTF-16 unit (itself when it has none of one unit).
char16_t upcaseUnit(char16_t c);
