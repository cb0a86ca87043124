#include "common/support/report_text.h"

#include <initializer_list>

#include "common/support/wide_format.h"

void formatFileVersion(uint16_t a, uint16_t b, uint16_t c, uint16_t d, char16_t* out,
                       uint32_t capacity) {
    if (out == nullptr || capacity == 0) return;
    const char16_t* minor = b >= 10 ? u"%u.%u" : u"%u.0%u";
    uint32_t n = formatWide(out, capacity, minor, unsigned{a}, unsigned{b});
    if (d != 0) {
        formatWide(out + n, capacity - n, u".%u.%u", unsigned{c}, unsigned{d});
    } else if (c != 0) {
        formatWide(out + n, capacity - n, u".%u", unsigned{c});
    }
}

void describeCpu(const CpuFacts& cpu, char16_t* out, uint32_t capacity) {
    if (out == nullptr || capacity == 0) return;
    uint32_t n = 0;
    out[0] = 0;
    for (const char16_t* part : {cpu.name, cpu.identifier, cpu.vendor}) {
        if (part != nullptr && part[0] != 0) n += formatWide(out + n, capacity - n, u"%s ", part);
    }
    if (cpu.hasMhz) formatWide(out + n, capacity - n, u"%u", cpu.mhz);
}
