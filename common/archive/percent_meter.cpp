#include "common/archive/percent_meter.h"

#include "common/support/localised_text.h"
#include "common/support/string_ids.h"
#include "common/support/wide_format.h"

bool PercentMeter::advance(uint64_t done) {
    if (percentage >= 100 || done <= unit * percentage) return false;
    uint32_t k = percentage;
    do {
        ++k;
    } while (k < 100 && unit * k < done);
    if (k == percentage) return false;
    percentage = k;
    return true;
}

void reportPercent(ProgressSink* progress, PercentMeter& meter, uint64_t done) {
    if (progress == nullptr || !progress->hasBar()) return;
    if (!meter.advance(done)) return;
    progress->moveBar(meter.percentage);
    if (progress->hasPercent()) {
        char16_t line[kSharedTextChars];
        formatWide(line, kSharedTextChars, u"%s %d%%", loadText(kStrCompleted),
                   static_cast<int>(meter.percentage));
        progress->showPercent(line);
    }
}
