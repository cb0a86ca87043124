// The simulated readers and tokens of our stand-in token library, read from the text file that
// QUILLON_TOKENS names (the format is in README.md). Without the variable, or with a file that
// cannot be read, there are no readers. Built without the C runtime: no allocation, fixed tables,
// every text cut to its field.
#pragma once

#include <stdint.h>

namespace hwtok {

inline constexpr int kMaxReaders = 8;
inline constexpr int kNameBytes = 256;    // reader name, terminator included
inline constexpr int kLabelBytes = 128;   // label as stored (ReadLabel hands out at most 36)
inline constexpr int kSecretBytes = 256;  // PIN and stored password

struct Reader {
    char name[kNameBytes];
    bool hasToken;
    bool hasPin;  // false: any PIN, the empty one included, is accepted
    char pin[kSecretBytes];
    int32_t attempts;  // what InitCard reports
    char label[kLabelBytes];
    bool hasPassword;
    char password[kSecretBytes];  // stored without a terminator: ReadData hands out its length
    uint32_t passwordBytes;

    // Session state, reset when the file is read again.
    bool open;
    bool cardReady;
    bool pinAccepted;
};

struct Store {
    int count;
    Reader readers[kMaxReaders];
};

// The readers as last read.
Store& store();

// Reads the file again (or empties the store when there is none).
void loadStore();

// The reader behind a handle (index + 1), or null for a handle that names none.
Reader* readerOf(uint32_t handle);

// Byte helpers, since the library carries no runtime.
uint32_t textLength(const char* text);
bool sameText(const char* a, const char* b);
void copyBytes(char* to, const char* from, uint32_t bytes);

}  // namespace hwtok
