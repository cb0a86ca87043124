#include "common/support/destination_tree.h"

void treeTemporaryName(uint32_t tag, bool old, char16_t* out) {
    static const char kHex[] = "0123456789ABCDEF";
    out[0] = u'~';
    out[1] = u'q';
    out[2] = u's';
    for (int i = 0; i < 8; ++i)
        out[3 + i] = static_cast<char16_t>(kHex[(tag >> (28 - 4 * i)) & 15]);
    const char* ext = old ? ".old" : ".tmp";
    for (int i = 0; i < 4; ++i) out[11 + i] = static_cast<char16_t>(ext[i]);
    out[15] = 0;
}
