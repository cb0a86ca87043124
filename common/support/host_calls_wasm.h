// The calls the browser build makes to the page's script, which answers them from the worker the
// engine runs in. They are the whole of the engine's contact with the browser: files are Blobs
// the page has named (read in slices) or sinks it has opened (written in order), and the clock
// is the script's. Sizes and offsets travel as doubles, exact up to 2^53 bytes, far beyond any
// file a browser hands over. Paths are UTF-16 code units, as the engine holds them.
#pragma once

#include <cstdint>

#define QUILLON_HOST_CALL(name) __attribute__((import_module("quillon"), import_name(#name)))

extern "C" {

// A file the page has made available under this name (an archive being opened, a file being
// stored): a handle, or -1 when there is none by that name.
QUILLON_HOST_CALL(file_open) int32_t hostFileOpen(const char16_t* path, uint32_t chars);
// A new sink under this name: a handle or -1. With `onlyNew` set it fails when a sink or a file
// of that name is already there; otherwise it replaces a sink not yet finished.
QUILLON_HOST_CALL(file_create)
int32_t hostFileCreate(const char16_t* path, uint32_t chars, int32_t onlyNew);
// Bytes read at the handle's position (which advances), 0 at the end, -1 on failure.
QUILLON_HOST_CALL(file_read) double hostFileRead(int32_t handle, void* buffer, uint32_t bytes);
// Bytes written at the end of a sink, or -1.
QUILLON_HOST_CALL(file_write)
double hostFileWrite(int32_t handle, const void* buffer, uint32_t bytes);
QUILLON_HOST_CALL(file_size) double hostFileSize(int32_t handle);
QUILLON_HOST_CALL(file_seek) int32_t hostFileSeek(int32_t handle, double offset);
QUILLON_HOST_CALL(file_close) void hostFileClose(int32_t handle);
// Drops an unfinished sink; 1 when there was one.
QUILLON_HOST_CALL(file_delete) int32_t hostFileDelete(const char16_t* path, uint32_t chars);
// Finishes a sink under its final name; 1 on success.
QUILLON_HOST_CALL(file_rename)
int32_t hostFileRename(const char16_t* from, uint32_t fromChars, const char16_t* to,
                       uint32_t toChars);

// Milliseconds since 1970-01-01 UTC.
QUILLON_HOST_CALL(now_ms) double hostNowMs();
// Fills `bytes` (at most 65536) bytes with crypto.getRandomValues; 1 on success.
QUILLON_HOST_CALL(random_bytes) int32_t hostRandomBytes(void* buffer, uint32_t bytes);
}
