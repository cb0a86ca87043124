#include "tools/sfxtool/terminal_progress.h"

#include "tools/sfxtool/console.h"
#include "tools/sfxtool/formatted.h"
#include "tools/sfxtool/path_forms.h"

namespace {

constexpr std::size_t kLongestBar = 30;
constexpr std::size_t kShortestBar = 10;

// A code point's columns: the East Asian wide and full-width blocks take two, combining marks
// none. Erring wide only leaves a column blank, never wraps.
std::size_t columnsOf(char32_t c) {
    if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
        (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
        (c >= 0xFE20 && c <= 0xFE2F) || c == 0x200B || c == 0x200D) {
        return 0;
    }
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
        (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
        (c >= 0x20000 && c <= 0x3FFFD)) {
        return 2;
    }
    return 1;
}

// The characters of `text` one code point at a time: its start and length in units.
struct CodePoint {
    char32_t value;
    std::size_t units;
};

CodePoint codePointAt(std::u16string_view text, std::size_t at) {
    const char16_t u = text[at];
    if (u >= 0xD800 && u <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
        text[at + 1] <= 0xDFFF) {
        return {0x10000 + ((char32_t{u} - 0xD800) << 10) + (text[at + 1] - 0xDC00), 2};
    }
    return {u, 1};
}

// The longest start of `text` that takes at most `columns` columns.
std::u16string_view headOf(std::u16string_view text, std::size_t columns) {
    std::size_t used = 0, at = 0;
    while (at < text.size()) {
        const CodePoint c = codePointAt(text, at);
        const std::size_t w = columnsOf(c.value);
        if (used + w > columns) break;
        used += w;
        at += c.units;
    }
    return text.substr(0, at);
}

// The longest end of `text` that takes at most `columns` columns.
std::u16string_view tailOf(std::u16string_view text, std::size_t columns) {
    std::size_t used = 0, at = text.size();
    while (at > 0) {
        std::size_t start = at - 1;
        if (start > 0 && text[start] >= 0xDC00 && text[start] <= 0xDFFF &&
            text[start - 1] >= 0xD800 && text[start - 1] <= 0xDBFF) {
            --start;
        }
        const std::size_t w = columnsOf(codePointAt(text, start).value);
        if (used + w > columns) break;
        used += w;
        at = start;
    }
    return text.substr(at);
}

// `text` in at most `columns` columns: whole, or its start and end around "...".
std::u16string fitted(std::u16string_view text, std::size_t columns) {
    if (displayWidth(text) <= columns) return std::u16string(text);
    if (columns <= 3) return std::u16string(headOf(text, columns));
    const std::size_t head = (columns - 3) / 3;
    const std::u16string_view start = headOf(text, head);
    const std::u16string_view end = tailOf(text, columns - 3 - displayWidth(start));
    return std::u16string(start) + u"..." + std::u16string(end);
}

}  // namespace

std::size_t displayWidth(std::u16string_view text) {
    std::size_t width = 0;
    for (std::size_t at = 0; at < text.size();) {
        const CodePoint c = codePointAt(text, at);
        width += columnsOf(c.value);
        at += c.units;
    }
    return width;
}

std::u16string progressLine(uint32_t percent, std::u16string_view status, std::size_t columns) {
    const std::size_t room = columns > 1 ? columns - 1 : 0;
    std::u16string line;
    // "[" bar "] " and "100% " take the bar's width and 7 more; the bar gets a third of the
    // room at most, and is left out when fewer than kShortestBar columns would be left for it.
    std::size_t bar = room > 7 ? (room - 7) / 3 : 0;
    if (bar > kLongestBar) bar = kLongestBar;
    if (bar >= kShortestBar) {
        const std::size_t filled = percent * bar / 100;
        line = u"[";
        line.append(filled, u'#');
        line.append(bar - filled, u'.');
        line += u"] ";
    }
    line += formatted(u"%3u%%", static_cast<unsigned>(percent));
    if (line.size() > room) return std::u16string(headOf(line, room));
    std::u16string shown(status);
    for (char16_t& c : shown)
        if (c < 0x20 || c == 0x7F) c = u'?';
    if (line.size() + 1 < room) line += u" " + fitted(shown, room - line.size() - 1);
    return line;
}

void TerminalProgress::showStatus(const char16_t* text) {
    // The engine names files as they are stored; people here know them as paths.
    status_ = shownName(text != nullptr ? text : u"");
    draw();
}

void TerminalProgress::moveBar(uint32_t percent) {
    percent_ = percent;
    draw();
}

void TerminalProgress::draw() {
    if (!enabled_) return;
    const std::size_t columns = terminalColumns();
    std::u16string line = progressLine(percent_, status_, columns);
    const std::size_t width = displayWidth(line);
    // What is left of a longer line drawn before is blanked, within the width there is now.
    const std::size_t blank = drawnWidth_ < columns ? drawnWidth_ : columns - 1;
    if (width < blank) line.append(blank - width, u' ');
    print(Stream::kErr, u"\r" + line);
    drawnWidth_ = width;
    drawn_ = true;
}

void TerminalProgress::finish(bool completed) {
    if (completed && enabled_) {
        percent_ = 100;
        draw();
    }
    if (drawn_) print(Stream::kErr, u"\n");
    drawn_ = false;
}
