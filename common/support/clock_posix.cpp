// The UTC clock off Windows: the system clock in milliseconds, broken down with gmtime_r.
#include <time.h>

#include <chrono>

#include "common/support/clock.h"

UtcTime currentUtcTime() {
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    const time_t seconds = static_cast<time_t>(sinceEpoch / 1000);
    tm parts{};
    gmtime_r(&seconds, &parts);
    return UtcTime{
        static_cast<uint16_t>(parts.tm_year + 1900), static_cast<uint16_t>(parts.tm_mon + 1),
        static_cast<uint16_t>(parts.tm_mday),        static_cast<uint16_t>(parts.tm_hour),
        static_cast<uint16_t>(parts.tm_min),         static_cast<uint16_t>(parts.tm_sec),
        static_cast<uint16_t>(sinceEpoch % 1000)};
}
