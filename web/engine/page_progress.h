// A job's progress as the page shows it: the status line and the bar's percentage go to the
// script, which posts them from the worker to the page. There is no dialog to end.
#pragma once

#include <cstdint>

#include "common/archive/progress_sink.h"

struct PageProgress final : ProgressSink {
    bool hasDialog() const override { return false; }
    bool hasStatus() const override { return true; }
    bool hasPercent() const override { return false; }
    bool hasBar() const override { return true; }

    void showStatus(const char16_t* text) override;
    void showPercent(const char16_t*) override {}
    void moveBar(uint32_t percent) override;
    void endDialog(int) override {}
};
