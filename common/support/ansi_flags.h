// The flags a conversion to an ANSI code page may pass. Best-fit mapping is switched off wherever
// the code page allows the flag that does so, so that a character without an exact form becomes
// the default character rather than a look-alike. Some code pages refuse every flag but a few:
// UTF-8 takes only 0 or "fail on invalid characters", UTF-7, the symbol code page and the
// ISO-2022 and ISCII families only 0. Passing the best-fit flag there makes the conversion fail
// outright, which would turn every password into nothing; those code pages have no best fit to
// switch off anyway.
#pragma once

#include <cstdint>

// The flag value that switches best-fit mapping off (WC_NO_BEST_FIT_CHARS).
inline constexpr uint32_t kNoBestFitFlag = 0x400;

// The flags for converting UTF-16 to `codePage`: kNoBestFitFlag, or 0 where it is refused.
uint32_t wideToAnsiFlags(uint32_t codePage);
