// The engine's progress drawn as one line on standard error, when that is a terminal: the
// writer's and the reader's own percentage and the name being worked on.
#pragma once

#include <string>

#include "common/archive/progress_sink.h"

class TerminalProgress final : public ProgressSink {
  public:
    explicit TerminalProgress(bool enabled) : enabled_(enabled) {}
    ~TerminalProgress() override { finish(); }

    bool hasDialog() const override { return false; }
    bool hasStatus() const override { return enabled_; }
    bool hasPercent() const override { return enabled_; }
    bool hasBar() const override { return enabled_; }
    void showStatus(const char16_t* text) override;
    void showPercent(const char16_t*) override {}
    void moveBar(uint32_t percent) override;
    void endDialog(int) override {}

    // Ends the line, once, if anything was drawn.
    void finish();

  private:
    void draw();

    bool enabled_;
    bool drawn_ = false;
    uint32_t percent_ = 0;
    std::u16string status_;
};
