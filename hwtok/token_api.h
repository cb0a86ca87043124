// The entry points of the token library hwtok32.dll, as the extractor binds them by name and as
// our stand-in library defines them. Every entry point uses the Windows API convention
// (__stdcall: arguments pushed right to left, the callee removes them) and is exported under its
// bare name. Results that mean yes or no are 32-bit integers whose low byte is not zero for yes.
// The extractor calls nine of the 35; the others exist so a binding finds all of them.
#pragma once

#include <windows.h>

#include <cstdint>

namespace token {

// Reader handles are 32-bit values; 0 is no reader.
using ReaderHandle = uint32_t;

// The second argument the extractor passes to InitCard, and the data slot it reads.
inline constexpr int32_t kInitCardMode = 224;
inline constexpr int32_t kDataSlot = 0;
// The label buffer ReadLabel fills, terminator included.
inline constexpr int kLabelBytes = 36;

using EnumReadersFn = const char*(WINAPI*)(int32_t index);
using InitReaderFn = ReaderHandle(WINAPI*)(const char* readerName);
using CloseReaderFn = int32_t(WINAPI*)(ReaderHandle reader);
using InitCardFn = int32_t(WINAPI*)(ReaderHandle reader, int32_t mode);
using CloseCardFn = int32_t(WINAPI*)(ReaderHandle reader, int32_t mode);
using VerifyPinFn = int32_t(WINAPI*)(ReaderHandle reader, const char* pin);
using ReadDataFn = int32_t(WINAPI*)(ReaderHandle reader, int32_t slot, uint8_t* data,
                                    uint32_t* size);
using IsDataExistFn = int32_t(WINAPI*)(ReaderHandle reader);
using ReadLabelFn = int32_t(WINAPI*)(ReaderHandle reader, char* label);
// The 26 entry points the extractor binds but never calls take no arguments here.
using UnusedFn = int32_t(WINAPI*)();

// The 35 names, in the order they are bound.
inline constexpr const char* kEntryNames[35] = {
    "EnumReaders",        "InitReader",     "CloseReader",     "InitCard",      "CloseCard",
    "VerifyPIN",          "ChangePIN",      "UnblockPIN",      "ReadData",      "WriteData",
    "DeleteData",         "SetDataSize",    "GetRandom",       "GetReaderName", "GetReaderType",
    "IsDataExist",        "IsDataExisting", "GetCardID",       "GetCardType",   "EnumApplications",
    "GetApplicationInfo", "ReadLabel",      "WriteLabel",      "ReadDataApp",   "WriteDataApp",
    "SetDataSizeApp",     "ReadBIR",        "WriteBIR",        "SetBIRSize",    "DeleteBIR",
    "AnyReadersChanges",  "ExternalAuth",   "ChangeIssuerKey", "FormatCard",    "UnformatCard"};

// A result counts as yes when its low byte is not zero.
inline bool isYes(int32_t result) {
    return (result & 0xFF) != 0;
}

}  // namespace token
