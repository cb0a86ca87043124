// The engine's progress drawn as one line on standard error, when that is a terminal: the
// writer's and the reader's own percentage and the name being worked on. The line is made to
// fit the terminal's width as it is at each drawing, so it never wraps onto a second line, and
// a run that completes ends it at 100%.
#pragma once

#include <string>
#include <string_view>

#include "common/archive/progress_sink.h"

class TerminalProgress final : public ProgressSink {
  public:
    explicit TerminalProgress(bool enabled) : enabled_(enabled) {}
    ~TerminalProgress() override { finish(false); }

    bool hasDialog() const override { return false; }
    bool hasStatus() const override { return enabled_; }
    bool hasPercent() const override { return enabled_; }
    bool hasBar() const override { return enabled_; }
    void showStatus(const char16_t* text) override;
    void showPercent(const char16_t*) override {}
    void moveBar(uint32_t percent) override;
    void endDialog(int) override {}

    // Ends the line, once, if anything was drawn; at 100% when the run `completed` (the
    // engine's last step need not be a whole percent).
    void finish(bool completed);

  private:
    void draw();

    bool enabled_;
    bool drawn_ = false;
    std::size_t drawnWidth_ = 0;  // of the line last drawn, whose rest a shorter one blanks
    uint32_t percent_ = 0;
    std::u16string status_;
};

// The columns `text` takes on a terminal: two for wide (East Asian) characters, none for
// combining marks, one for the rest.
std::size_t displayWidth(std::u16string_view text);

// The progress line for a terminal `columns` wide: the bar when there is room for it, the
// percentage, and the status, shortened in the middle to what is left, in at most one column
// less than the width (so the cursor never reaches the last column, where some terminals wrap).
// Control characters in the status show as '?'.
std::u16string progressLine(uint32_t percent, std::u16string_view status, std::size_t columns);
