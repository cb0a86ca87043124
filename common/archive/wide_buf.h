// Growable, always zero-terminated UTF-16 text buffer that wipes its storage on release and reuse
// (default 520 characters, an empty string).
#pragma once

#include "common/archive/zeroed_storage.h"

struct WideBuf : ZeroedStorage<char16_t, 1> {
    // Characters before the terminator.
    uint32_t length() const;

    // Replaces the text; with no text the buffer becomes empty.
    WideBuf& assign(const char16_t* text);

    // Appends text, growing to the old capacity plus the text and its terminator when the free
    // room cannot hold both. If growing fails the buffer keeps its old text.
    WideBuf& append(const char16_t* text);

    const char16_t* text() const { return data; }
};

// A list of names kept in a WideBuf: each ended by a zero, an empty one (or the buffer's end)
// ending the list. The name at `offset`, or null past the list's end; `offset` moves to the
// following one. The list is bounded by the buffer, whatever its contents.
const char16_t* listedNameAt(const WideBuf& list, uint32_t& offset);
