// The wall clock as the log stamps its entries: the current UTC date and time, to the
// millisecond. A seam of its own so the log code stays free of operating-system headers.
#pragma once

#include <cstdint>

struct UtcTime {
    uint16_t year;
    uint16_t month;  // 1..12
    uint16_t day;    // 1..31
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t millisecond;
};

UtcTime currentUtcTime();
