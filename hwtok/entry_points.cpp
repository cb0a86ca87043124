// The 35 entry points of our stand-in token library. The nine the extractor calls behave as it
// relies on, backed by the simulated readers of token_store; the others exist so that a binding
// by name finds all 35, and report failure. The simulation is strict about what the extractor
// must pass: InitCard fails unless asked with mode 224, ReadData unless asked for slot 0, and a
// token's data is read only after InitCard and, for a token with a PIN, an accepted PIN.
#include <windows.h>

#include "hwtok/call_trace.h"
#include "hwtok/token_api.h"
#include "hwtok/token_store.h"

using hwtok::Reader;
using hwtok::readerOf;
using hwtok::trace;

namespace {

const char* nameOf(const Reader* r) {
    return r != nullptr ? r->name : "(no reader)";
}

// The reader behind a handle once its token has been initialised.
Reader* readyCard(uint32_t handle) {
    Reader* r = readerOf(handle);
    return r != nullptr && r->open && r->cardReady ? r : nullptr;
}

bool mayRead(const Reader* r) {
    return r != nullptr && r->hasPassword && (!r->hasPin || r->pinAccepted);
}

}  // namespace

extern "C" {

// The readers are read from the file afresh whenever enumeration starts over, so each search for
// a token sees the file as it is then.
const char* WINAPI EnumReaders(int32_t index) {
    char number[12];
    trace("EnumReaders", hwtok::numberText(index, number));
    if (index == 0) hwtok::loadStore();
    if (index < 0 || index >= hwtok::store().count) return nullptr;
    return hwtok::store().readers[index].name;
}

token::ReaderHandle WINAPI InitReader(const char* readerName) {
    trace("InitReader", readerName != nullptr ? readerName : "(null)");
    if (readerName == nullptr) return 0;
    for (int i = 0; i < hwtok::store().count; ++i) {
        Reader& r = hwtok::store().readers[i];
        if (!hwtok::sameText(r.name, readerName)) continue;
        r.open = true;
        r.cardReady = false;
        r.pinAccepted = false;
        return static_cast<token::ReaderHandle>(i + 1);
    }
    return 0;
}

int32_t WINAPI CloseReader(token::ReaderHandle reader) {
    Reader* r = readerOf(reader);
    trace("CloseReader", nameOf(r));
    if (r == nullptr || !r->open) return 0;
    r->open = r->cardReady = r->pinAccepted = false;
    return 1;
}

int32_t WINAPI InitCard(token::ReaderHandle reader, int32_t mode) {
    Reader* r = readerOf(reader);
    char number[12];
    trace("InitCard", nameOf(r), hwtok::numberText(mode, number));
    if (r == nullptr || !r->open || !r->hasToken || mode != token::kInitCardMode) return 0;
    r->cardReady = r->attempts > 0;
    r->pinAccepted = false;
    return r->attempts;
}

int32_t WINAPI CloseCard(token::ReaderHandle reader, int32_t mode) {
    Reader* r = readerOf(reader);
    char number[12];
    trace("CloseCard", nameOf(r), hwtok::numberText(mode, number));
    if (r == nullptr || !r->cardReady) return 0;
    r->cardReady = r->pinAccepted = false;
    return 1;
}

// The log shows the PIN's length, not the PIN.
int32_t WINAPI VerifyPIN(token::ReaderHandle reader, const char* pin) {
    Reader* r = readyCard(reader);
    char number[12];
    trace("VerifyPIN", nameOf(readerOf(reader)),
          pin != nullptr ? hwtok::numberText(hwtok::textLength(pin), number) : "(null)");
    if (r == nullptr || pin == nullptr) return 0;
    r->pinAccepted = !r->hasPin || hwtok::sameText(r->pin, pin);
    return r->pinAccepted ? 1 : 0;
}

int32_t WINAPI IsDataExist(token::ReaderHandle reader) {
    Reader* r = readyCard(reader);
    trace("IsDataExist", nameOf(readerOf(reader)));
    return r != nullptr && r->hasPassword ? 1 : 0;
}

// The label as the token holds it, terminated within the 36 bytes; a label of 36 bytes or more
// fills all 36 with no terminator, as a careless token might.
int32_t WINAPI ReadLabel(token::ReaderHandle reader, char* label) {
    Reader* r = readyCard(reader);
    trace("ReadLabel", nameOf(readerOf(reader)));
    if (r == nullptr || label == nullptr) return 0;
    uint32_t n = hwtok::textLength(r->label);
    if (n >= static_cast<uint32_t>(token::kLabelBytes)) {
        hwtok::copyBytes(label, r->label, token::kLabelBytes);
    } else {
        hwtok::copyBytes(label, r->label, n + 1);
    }
    return 1;
}

// With a null buffer: the data's size. With a buffer: the data, if the size word says it fits.
int32_t WINAPI ReadData(token::ReaderHandle reader, int32_t slot, uint8_t* data, uint32_t* size) {
    Reader* r = readyCard(reader);
    char number[12];
    trace("ReadData", nameOf(readerOf(reader)), hwtok::numberText(slot, number),
          data == nullptr ? "size" : "data");
    if (!mayRead(r) || slot != token::kDataSlot || size == nullptr) return 0;
    if (data == nullptr) {
        *size = r->passwordBytes;
        return 1;
    }
    if (*size < r->passwordBytes) return 0;
    hwtok::copyBytes(reinterpret_cast<char*>(data), r->password, r->passwordBytes);
    *size = r->passwordBytes;
    return 1;
}

// The entry points the extractor binds but never calls: present, and failing.
#define HWTOK_UNUSED(name)  \
    int32_t WINAPI name() { \
        trace(#name);       \
        return 0;           \
    }
HWTOK_UNUSED(ChangePIN)
HWTOK_UNUSED(UnblockPIN)
HWTOK_UNUSED(WriteData)
HWTOK_UNUSED(DeleteData)
HWTOK_UNUSED(SetDataSize)
HWTOK_UNUSED(GetRandom)
HWTOK_UNUSED(GetReaderName)
HWTOK_UNUSED(GetReaderType)
HWTOK_UNUSED(IsDataExisting)
HWTOK_UNUSED(GetCardID)
HWTOK_UNUSED(GetCardType)
HWTOK_UNUSED(EnumApplications)
HWTOK_UNUSED(GetApplicationInfo)
HWTOK_UNUSED(WriteLabel)
HWTOK_UNUSED(ReadDataApp)
HWTOK_UNUSED(WriteDataApp)
HWTOK_UNUSED(SetDataSizeApp)
HWTOK_UNUSED(ReadBIR)
HWTOK_UNUSED(WriteBIR)
HWTOK_UNUSED(SetBIRSize)
HWTOK_UNUSED(DeleteBIR)
HWTOK_UNUSED(AnyReadersChanges)
HWTOK_UNUSED(ExternalAuth)
HWTOK_UNUSED(ChangeIssuerKey)
HWTOK_UNUSED(FormatCard)
HWTOK_UNUSED(UnformatCard)
#undef HWTOK_UNUSED

}  // extern "C"
