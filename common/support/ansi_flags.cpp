// Which code pages refuse the best-fit flag (see ansi_flags.h).
#include "common/support/ansi_flags.h"

uint32_t wideToAnsiFlags(uint32_t codePage) {
    switch (codePage) {
        case 42:     // symbol
        case 50220:  // ISO-2022 Japanese
        case 50221:
        case 50222:
        case 50225:  // ISO-2022 Korean
        case 50227:  // ISO-2022 Simplified Chinese
        case 50229:  // ISO-2022 Traditional Chinese
        case 65000:  // UTF-7
        case 65001:  // UTF-8
            return 0;
        default:
            // ISCII, 57002 to 57011.
            if (codePage >= 57002 && codePage <= 57011) return 0;
            return kNoBestFitFlag;
    }
}
