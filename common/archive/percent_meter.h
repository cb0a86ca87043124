// The completion percentage that writer and reader show: the smallest whole number, at most 100,
// whose share of the total covers the bytes done so far. The number can jump several points in
// one chunk, so the bar is set to it rather than stepped once per change, which would leave the
// bar far behind the text.
#pragma once

#include <cstdint>

#include "common/archive/progress_sink.h"

struct PercentMeter {
    uint64_t unit =
        0;  // a hundredth of the total; 0 below 100 bytes, so the first update shows 100
    uint32_t percentage = 0;

    explicit PercentMeter(uint64_t total) : unit(total / 100) {}

    // Moves to the percentage for `done` bytes; true when it changed.
    bool advance(uint64_t done);
};

// After a chunk: when a bar is bound and the percentage changed, moves the bar to it and, with a
// percent line bound, shows "Completed N%" (the first word from the string table).
void reportPercent(ProgressSink* progress, PercentMeter& meter, uint64_t done);
