// File times as archives keep them: 100-nanosecond ticks since 1601-01-01 UTC, Windows' own
// count, with 0 for "not known". POSIX counts seconds and nanoseconds since 1970; these convert.
#pragma once

#include <cstdint>

constexpr int64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpochSeconds = 11644473600;

// The ticks of a POSIX time, or 0 for one before 1601 (which no file system here gives).
constexpr uint64_t ticksFromUnix(int64_t seconds, int64_t nanoseconds) {
    if (seconds < -kUnixEpochSeconds || seconds > INT64_MAX / kTicksPerSecond - kUnixEpochSeconds) {
        return 0;
    }
    return static_cast<uint64_t>((seconds + kUnixEpochSeconds) * kTicksPerSecond +
                                 nanoseconds / 100);
}

// The POSIX seconds and nanoseconds of a count of ticks.
constexpr void unixFromTicks(uint64_t ticks, int64_t& seconds, int64_t& nanoseconds) {
    seconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kUnixEpochSeconds;
    nanoseconds = static_cast<int64_t>(ticks % kTicksPerSecond) * 100;
}
