// The operating system's own words for an error (a lastSystemError() value), for messages that
// name a file and say why it failed, as tar does: "a.tvf: No such file or directory".
#pragma once

#include <cstdint>

// Writes the text, without a final full stop or line end, into `out` (cut to fit, always
// terminated) and returns its length. An error the system has no words for reads "error N".
uint32_t systemErrorText(uint32_t error, char16_t* out, uint32_t capacity);
