#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "common/support/secure_zero.h"
#include "common/support/utf8.h"
#include "tools/sfxtool/console.h"

void print(Stream s, const std::u16string& text) {
    const std::string bytes = utf8FromWide(text);
    std::FILE* f = s == Stream::kOut ? stdout : stderr;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fflush(f);
}

bool isTerminal(Stream s) {
    return isatty(s == Stream::kOut ? 1 : 2) != 0;
}

bool stdinIsTerminal() {
    return isatty(0) != 0;
}

std::size_t terminalColumns() {
    winsize size{};
    if (ioctl(2, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    const char* columns = std::getenv("COLUMNS");
    const long n = columns != nullptr ? std::strtol(columns, nullptr, 10) : 0;
    return n > 0 && n < 10000 ? static_cast<std::size_t>(n) : 80;
}

bool readLine(std::u16string& line) {
    std::string bytes;
    if (!std::getline(std::cin, bytes)) return false;
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    line = wideFromUtf8(bytes);
    secureZero(bytes.data(), bytes.size());
    return true;
}

namespace {

// A line typed at the terminal after `prompt`, with echo off unless `echo`; false when there is
// no terminal or nothing came.
bool askTerminal(const std::u16string& prompt, std::u16string& typed, bool echo) {
    std::FILE* tty = std::fopen("/dev/tty", "r+");
    if (tty == nullptr) return false;
    const int fd = fileno(tty);
    termios old{};
    if (tcgetattr(fd, &old) != 0) {
        std::fclose(tty);
        return false;
    }
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    // Echo goes off before the prompt shows, so nothing typed after it is echoed or dropped.
    if (!echo) tcsetattr(fd, TCSAFLUSH, &quiet);
    const std::string p = utf8FromWide(prompt);
    std::fputs(p.c_str(), tty);
    std::fflush(tty);
    char buf[1024];
    const bool ok = std::fgets(buf, sizeof buf, tty) != nullptr;
    if (!echo) tcsetattr(fd, TCSAFLUSH, &old);
    std::fclose(tty);
    if (!ok) return false;
    std::string bytes(buf);
    secureZero(buf, sizeof buf);
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    typed = wideFromUtf8(bytes);
    secureZero(bytes.data(), bytes.size());
    return true;
}

}  // namespace

bool readSecret(const std::u16string& prompt, std::u16string& secret) {
    return askTerminal(prompt, secret, false);
}

bool readAnswer(const std::u16string& prompt, std::u16string& answer) {
    return askTerminal(prompt, answer, true);
}

std::u16string systemReason(uint32_t error) {
    return wideFromUtf8(std::strerror(static_cast<int>(error)));
}
