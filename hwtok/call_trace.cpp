// Appending one line to the call log. Lines are built in a fixed buffer and cut at its end.
#include "hwtok/call_trace.h"

#include <windows.h>

namespace hwtok {

namespace {

struct Line {
    char text[600];
    uint32_t length = 0;

    void add(const char* part) {
        while (*part != 0 && length < sizeof text - 2) text[length++] = *part++;
    }
};

}  // namespace

void trace(const char* entry, const char* a, const char* b, const char* c) {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("QUILLON_TOKEN_TRACE", path, sizeof path);
    if (n == 0 || n >= sizeof path) return;
    Line line;
    line.add(entry);
    const char* parts[] = {a, b, c};
    for (const char* part : parts) {
        if (part == nullptr) continue;
        line.add(" ");
        line.add(part);
    }
    line.text[line.length++] = '\r';
    line.text[line.length++] = '\n';
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.text, line.length, &written, nullptr);
    CloseHandle(file);
}

const char* numberText(int32_t value, char (&buffer)[12]) {
    char* p = buffer + sizeof buffer - 1;
    *p = 0;
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : value;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    return p;
}

}  // namespace hwtok
