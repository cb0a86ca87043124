// Unpredictable bytes from the operating system's own source, for what must differ between
// archives (a salt). Never a seeded generator of ours: the system's source is the one the
// platform keeps well seeded.
#pragma once

#include <cstddef>
#include <cstdint>

// Fills `out` with `length` random bytes. False (and the bytes zeroed) when the system's source
// cannot give them; the caller must then not go on with a predictable value.
[[nodiscard]] bool randomBytes(uint8_t* out, std::size_t length);
