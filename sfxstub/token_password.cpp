// The search for a token password, reader by reader. Every text from the library is copied with
// a bound: a reader name and label that would overflow the PIN exchange buffer are cut to fit
// (name first, the label keeps its 32 characters), a label that fills its 36 bytes without a
// terminator is taken as those 36 bytes, and stored data is read only as far as the library says
// it reaches. A password that does not fit the 64 characters of the output is not cut, since a
// cut password is a wrong one: that token counts as holding none, and the log says so. The PIN
// and the exchange buffer, which holds the typed PIN, are wiped on every way out.
#include "sfxstub/token_password.h"

#include "common/archive/byte_buf.h"
#include "common/archive/wide_buf.h"
#include "common/support/ansi_flags.h"
#include "common/support/code_page.h"
#include "common/support/localised_text.h"
#include "common/support/log.h"
#include "common/support/secure_zero.h"
#include "common/support/string_ids.h"
#include "common/support/wide_chars.h"
#include "sfxstub/pin_dialog.h"
#include "sfxstub/resource_ids.h"
#include "sfxstub/token_library.h"

namespace {

constexpr char kTag[] = "token";
constexpr int kPinBytes = 65;           // 64 and a terminator
constexpr int kWideLabelChars = 33;     // 32 and a terminator
constexpr int kReaderNameBytes = 1024;  // of a reader name, at most this many are looked at

// What one search keeps on its stack; wiped when it ends.
struct SearchState {
    HINSTANCE templateModule;
    HWND owner;
    char pin[kPinBytes] = {};
    char16_t exchange[kPinExchangeChars] = {};
    ByteBuf data;

    ~SearchState() {
        secureZeroObject(pin);
        secureZeroObject(exchange);
    }
};

int boundedLength(const char* text, int limit) {
    int n = 0;
    while (n < limit && text[n] != 0) ++n;
    return n;
}

// Converts `bytes` ANSI bytes and writes at most room - 1 characters and a terminator, cutting at
// a whole character; returns the characters written.
int convertCut(const char* text, int bytes, char16_t* out, int room) {
    out[0] = 0;
    if (bytes <= 0 || room <= 1) return 0;
    const int need = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, bytes, nullptr, 0);
    if (need <= 0) return 0;
    WideBuf whole;
    if (!whole.ensureCapacity(static_cast<uint32_t>(need) + 1)) return 0;
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, bytes, wide(whole.data), need);
    int n = need < room - 1 ? need : room - 1;
    if (n < need && n > 0 && isHighSurrogate(whole.data[n - 1])) --n;
    for (int i = 0; i < n; ++i) out[i] = whole.data[i];
    out[n] = 0;
    return n;
}

// The token's label as the dialog shows it: its own text, or "empty".
void readLabel(token::ReaderHandle handle, char16_t (&wideLabel)[kWideLabelChars]) {
    char label[token::kLabelBytes] = {};
    wideLabel[0] = 0;
    tokenApi().readLabel()(handle, label);
    const int bytes = boundedLength(label, token::kLabelBytes);
    if (bytes > 0) {
        convertCut(label, bytes, wideLabel, kWideLabelChars);
    } else {
        loadText(kStrTokenLabelEmpty, wideLabel, kWideLabelChars);
    }
}

// The reader name, then right behind its terminator the label, in the exchange buffer. The
// label is never longer than 32 characters, so the name always keeps most of the room.
void fillExchange(SearchState& s, const char* readerName, const char16_t* label) {
    int labelLength = 0;
    while (label[labelLength] != 0) ++labelLength;
    const int nameRoom = kPinExchangeChars - (labelLength + 1);
    const int nameLength =
        convertCut(readerName, boundedLength(readerName, kReaderNameBytes), s.exchange, nameRoom);
    char16_t* at = s.exchange + nameLength + 1;
    for (int i = 0; i <= labelLength; ++i) at[i] = label[i];
}

// The typed PIN, at the start of the exchange buffer, as ANSI into the PIN buffer; false when it
// does not fit its 64 bytes.
bool takePin(SearchState& s) {
    const int n = WideCharToMultiByte(CP_ACP, wideToAnsiFlags(GetACP()), wide(s.exchange), -1,
                                      s.pin, kPinBytes - 1, nullptr, nullptr);
    secureZeroObject(s.exchange);
    if (n == 0) secureZeroObject(s.pin);
    return n != 0;
}

// The empty PIN first; then the PIN dialog, up to `tries` times. False when the user cancelled or
// every PIN was rejected.
bool unlock(SearchState& s, token::ReaderHandle handle, const char* readerName, int32_t tries) {
    const TokenApi& api = tokenApi();
    s.pin[0] = 0;
    if (token::isYes(api.verifyPin()(handle, s.pin))) return true;
    while (tries > 0) {
        char16_t label[kWideLabelChars] = {};
        readLabel(handle, label);
        fillExchange(s, readerName, label);
        const INT_PTR result =
            DialogBoxParamW(s.templateModule, MAKEINTRESOURCEW(SFX_PIN_DIALOG), s.owner, PinDialog,
                            reinterpret_cast<LPARAM>(s.exchange));
        if (result != 1) {
            secureZeroObject(s.exchange);
            return false;
        }
        if (takePin(s) && token::isYes(api.verifyPin()(handle, s.pin))) return true;
        --tries;
    }
    return false;
}

// The stored data, an ANSI text ending at its first zero byte or at the end of the data, into the
// output. Empty data, and a password longer than the output takes, give no password.
bool readPassword(SearchState& s, token::ReaderHandle handle, const char* readerName,
                  char16_t* output) {
    const TokenApi& api = tokenApi();
    uint32_t size = 0;
    if (!token::isYes(api.readData()(handle, token::kDataSlot, nullptr, &size))) return false;
    if (!s.data.ensureCapacity(size)) return false;
    uint32_t got = size;
    if (!token::isYes(api.readData()(handle, token::kDataSlot, s.data.data, &got))) return false;
    if (got > size) got = size;
    const char* text = reinterpret_cast<const char*>(s.data.data);
    const int bytes = boundedLength(text, static_cast<int>(got));
    if (bytes == 0) return false;
    const int need = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, bytes, nullptr, 0);
    if (need <= 0 || need > kTokenPasswordChars - 1) {
        logLine(1, kTag, u"the password on %hs does not fit (%d characters); reader skipped",
                readerName, need);
        return false;
    }
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, bytes, wide(output), need);
    output[need] = 0;
    return true;
}

// One opened reader: its token initialised, unlocked and read, then closed again.
bool tryReader(SearchState& s, token::ReaderHandle handle, const char* readerName,
               char16_t* output) {
    const TokenApi& api = tokenApi();
    const int32_t tries = api.initCard()(handle, token::kInitCardMode);
    if (tries <= 0) return false;
    const bool found = token::isYes(api.isDataExist()(handle)) &&
                       unlock(s, handle, readerName, tries) &&
                       readPassword(s, handle, readerName, output);
    api.closeCard()(handle, 0);
    return found;
}

}  // namespace

bool readTokenPassword(HINSTANCE templateModule, HWND owner, char16_t* output) {
    const TokenApi& api = tokenApi();
    if (!api.bound() || output == nullptr) return false;
    SearchState s;
    s.templateModule = templateModule;
    s.owner = owner;
    bool found = false;
    int32_t index = 0;
    const char* reader = api.enumReaders()(0);
    while (reader != nullptr && !found) {
        ++index;
        const token::ReaderHandle handle = api.initReader()(reader);
        if (handle != 0) {
            found = tryReader(s, handle, reader, output);
            api.closeReader()(handle);
        }
        reader = api.enumReaders()(index);
    }
    return found;
}
