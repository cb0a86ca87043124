// The UTC clock in the browser: the script's milliseconds since 1970, broken down into the
// civil calendar (proleptic Gregorian, as the other platforms report it).
#include "common/support/clock.h"
#include "common/support/host_calls_wasm.h"

namespace {

// Year, month and day of a count of days since 1970-01-01 (H. Hinnant's civil_from_days).
void civilFromDays(int64_t days, int64_t& year, uint32_t& month, uint32_t& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const uint32_t dayOfEra = static_cast<uint32_t>(days - era * 146097);
    const uint32_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const uint32_t shifted = (5 * dayOfYear + 2) / 153;  // months from March
    day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

UtcTime currentUtcTime() {
    const double now = hostNowMs();
    const int64_t ms = now > 0 ? static_cast<int64_t>(now) : 0;
    const int64_t days = ms / 86400000;
    const int64_t inDay = ms % 86400000;
    int64_t year = 0;
    uint32_t month = 0, day = 0;
    civilFromDays(days, year, month, day);
    return UtcTime{static_cast<uint16_t>(year),
                   static_cast<uint16_t>(month),
                   static_cast<uint16_t>(day),
                   static_cast<uint16_t>(inDay / 3600000),
                   static_cast<uint16_t>(inDay / 60000 % 60),
                   static_cast<uint16_t>(inDay / 1000 % 60),
                   static_cast<uint16_t>(inDay % 1000)};
}
