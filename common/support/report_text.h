// The small texts of the system report that are built from plain values: a module's file
// version and the processor line. Kept apart from the system queries so both builds share them.
#pragma once

#include <cstdint>

// The file version a.b.c.d as the report shows it: the minor part always with two digits at
// least, the last two parts only as far as they are not zero (5.1.2600.0 is "5.01.2600",
// 1.0.0.0 is "1.00", 3.12.0.7 is "3.12.0.7"). Cut to capacity - 1 characters.
void formatFileVersion(uint16_t a, uint16_t b, uint16_t c, uint16_t d, char16_t* out,
                       uint32_t capacity);

// The parts of the processor line, each null or empty when the system did not give it.
struct CpuFacts {
    const char16_t* name;        // e.g. "Intel(R) Core(TM) i5 CPU"
    const char16_t* identifier;  // e.g. "x86 Family 6 Model 158 Stepping 10"
    const char16_t* vendor;      // e.g. "GenuineIntel"
    bool hasMhz;
    uint32_t mhz;
};

// Name, identifier and vendor, each followed by a space, then the clock rate in decimal with
// no unit; missing parts are left out. Cut to capacity - 1 characters.
void describeCpu(const CpuFacts& cpu, char16_t* out, uint32_t capacity);
