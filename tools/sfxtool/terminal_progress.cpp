#include "tools/sfxtool/terminal_progress.h"

#include "tools/sfxtool/console.h"
#include "tools/sfxtool/formatted.h"

namespace {

constexpr std::size_t kBarWidth = 30;
constexpr std::size_t kStatusWidth = 40;

}  // namespace

void TerminalProgress::showStatus(const char16_t* text) {
    status_ = text != nullptr ? text : u"";
    draw();
}

void TerminalProgress::moveBar(uint32_t percent) {
    percent_ = percent;
    draw();
}

void TerminalProgress::draw() {
    if (!enabled_) return;
    const std::size_t filled = percent_ * kBarWidth / 100;
    std::u16string line = u"\r[";
    line.append(filled, u'#');
    line.append(kBarWidth - filled, u'.');
    line += u"] ";
    line += formatted(u"%3u%% ", static_cast<unsigned>(percent_));
    std::u16string status = status_.substr(0, kStatusWidth);
    status.append(kStatusWidth - status.size(), u' ');
    line += status;
    print(Stream::kErr, line);
    drawn_ = true;
}

void TerminalProgress::finish() {
    if (drawn_) print(Stream::kErr, u"\n");
    drawn_ = false;
}
