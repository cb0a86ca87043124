#include <windows.h>

#include <cstdio>
#include <string>

#include "common/support/secure_zero.h"
#include "common/support/utf8.h"
#include "tools/sfxtool/console.h"

namespace {

HANDLE handleOf(Stream s) {
    return GetStdHandle(s == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool isConsole(HANDLE h) {
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode) != 0;
}

// A line of bytes from standard input, through the C runtime so it works on pipes too.
bool readBytes(std::string& bytes) {
    bytes.clear();
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') bytes += static_cast<char>(c);
    if (c == EOF && bytes.empty()) return false;
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    return true;
}

}  // namespace

void print(Stream s, const std::u16string& text) {
    HANDLE h = handleOf(s);
    DWORD done = 0;
    if (isConsole(h)) {
        WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    const std::string bytes = utf8FromWide(text);
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

bool isTerminal(Stream s) {
    return isConsole(handleOf(s));
}

bool stdinIsTerminal() {
    return isConsole(GetStdHandle(STD_INPUT_HANDLE));
}

std::size_t terminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(handleOf(Stream::kErr), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 0) return static_cast<std::size_t>(width);
    }
    return 80;
}

bool readLine(std::u16string& line) {
    std::string bytes;
    if (!readBytes(bytes)) return false;
    line = wideFromUtf8(bytes);
    secureZero(bytes.data(), bytes.size());
    return true;
}

namespace {

// A line typed at the console after `prompt`, with echo off unless `echo`; false when there is
// no console or nothing came.
bool askConsole(const std::u16string& prompt, std::u16string& typed, bool echo) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode)) return false;
    print(Stream::kErr, prompt);
    if (!echo) SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    wchar_t buf[512];
    DWORD got = 0;
    const BOOL ok = ReadConsoleW(in, buf, 511, &got, nullptr);
    if (!echo) {
        SetConsoleMode(in, mode);
        print(Stream::kErr, u"\n");
    }
    if (!ok) return false;
    std::u16string text(reinterpret_cast<const char16_t*>(buf), got);
    secureZero(buf, sizeof buf);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
    typed = text;
    secureZero(text.data(), text.size() * sizeof(char16_t));
    return true;
}

}  // namespace

bool readSecret(const std::u16string& prompt, std::u16string& secret) {
    return askConsole(prompt, secret, false);
}

bool readAnswer(const std::u16string& prompt, std::u16string& answer) {
    return askConsole(prompt, answer, true);
}

std::u16string systemReason(uint32_t error) {
    wchar_t text[256] = {};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, 256, nullptr);
    std::u16string reason(reinterpret_cast<const char16_t*>(text), n);
    // The system's messages end with a full stop and a line break.
    while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r' ||
                               reason.back() == u'.' || reason.back() == u' ')) {
        reason.pop_back();
    }
    if (reason.empty()) reason = u"system error " + std::u16string(1, u'?');
    return reason;
}
