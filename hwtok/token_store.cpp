// Reading the simulation file into the store. The file is parsed line by line: "[reader]" starts
// a reader, "key = value" sets one of its fields, "#" starts a comment line. Unknown keys and
// lines are ignored, over-long values are cut to their field, a file longer than the read buffer
// is read only as far as it fits, and readers beyond kMaxReaders are ignored.
#include "hwtok/token_store.h"

#include <windows.h>

namespace hwtok {

namespace {

Store g_store;
char g_file[32768];

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// [begin, end) with blanks trimmed on both sides.
void trim(const char*& begin, const char*& end) {
    while (begin < end && isBlank(*begin)) ++begin;
    while (end > begin && isBlank(end[-1])) --end;
}

bool sameKey(const char* begin, const char* end, const char* key) {
    while (begin < end && *key != 0 && *begin == *key) ++begin, ++key;
    return begin == end && *key == 0;
}

// Copies the value into a field of `size` bytes, cut to fit, terminated; returns its length.
uint32_t setField(char* field, uint32_t size, const char* begin, const char* end) {
    uint32_t n = static_cast<uint32_t>(end - begin);
    if (n > size - 1) n = size - 1;
    copyBytes(field, begin, n);
    field[n] = 0;
    return n;
}

bool isYesValue(const char* begin, const char* end) {
    return sameKey(begin, end, "yes") || sameKey(begin, end, "1") || sameKey(begin, end, "true");
}

int32_t numberValue(const char* begin, const char* end) {
    bool negative = begin < end && *begin == '-';
    if (negative) ++begin;
    int32_t n = 0;
    while (begin < end && *begin >= '0' && *begin <= '9' && n < 100000000) {
        n = n * 10 + (*begin++ - '0');
    }
    return negative ? -n : n;
}

void startReader() {
    if (g_store.count >= kMaxReaders) {
        ++g_store.count;  // counted, so its keys go nowhere, then clamped at the end
        return;
    }
    Reader& r = g_store.readers[g_store.count++];
    r = Reader{};
    r.hasToken = true;
    r.attempts = 3;
}

void setKey(const char* key, const char* keyEnd, const char* value, const char* valueEnd) {
    if (g_store.count == 0 || g_store.count > kMaxReaders) return;
    Reader& r = g_store.readers[g_store.count - 1];
    if (sameKey(key, keyEnd, "name")) {
        setField(r.name, sizeof r.name, value, valueEnd);
    } else if (sameKey(key, keyEnd, "token")) {
        r.hasToken = isYesValue(value, valueEnd);
    } else if (sameKey(key, keyEnd, "pin")) {
        r.hasPin = value < valueEnd;
        setField(r.pin, sizeof r.pin, value, valueEnd);
    } else if (sameKey(key, keyEnd, "attempts")) {
        r.attempts = numberValue(value, valueEnd);
    } else if (sameKey(key, keyEnd, "label")) {
        setField(r.label, sizeof r.label, value, valueEnd);
    } else if (sameKey(key, keyEnd, "password")) {
        r.hasPassword = true;
        r.passwordBytes = setField(r.password, sizeof r.password, value, valueEnd);
    }
}

void parseLine(const char* begin, const char* end) {
    trim(begin, end);
    if (begin == end || *begin == '#') return;
    if (sameKey(begin, end, "[reader]")) {
        startReader();
        return;
    }
    const char* equals = begin;
    while (equals < end && *equals != '=') ++equals;
    if (equals == end) return;
    const char* keyEnd = equals;
    const char* value = equals + 1;
    const char* valueEnd = end;
    trim(begin, keyEnd);
    trim(value, valueEnd);
    setKey(begin, keyEnd, value, valueEnd);
}

// The file's bytes into g_file; how many were read.
uint32_t readFile() {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("QUILLON_TOKENS", path, sizeof path);
    if (n == 0 || n >= sizeof path) return 0;
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD got = 0;
    if (!ReadFile(file, g_file, sizeof g_file, &got, nullptr)) got = 0;
    CloseHandle(file);
    return got;
}

}  // namespace

Store& store() {
    return g_store;
}

void loadStore() {
    g_store.count = 0;
    const uint32_t bytes = readFile();
    const char* line = g_file;
    const char* end = g_file + bytes;
    for (const char* p = g_file; p <= end; ++p) {
        if (p == end || *p == '\n') {
            parseLine(line, p);
            line = p + 1;
        }
    }
    if (g_store.count > kMaxReaders) g_store.count = kMaxReaders;
}

Reader* readerOf(uint32_t handle) {
    if (handle == 0 || handle > static_cast<uint32_t>(g_store.count)) return nullptr;
    return &g_store.readers[handle - 1];
}

uint32_t textLength(const char* text) {
    uint32_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

bool sameText(const char* a, const char* b) {
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

void copyBytes(char* to, const char* from, uint32_t bytes) {
    for (uint32_t i = 0; i < bytes; ++i) to[i] = from[i];
}

}  // namespace hwtok
