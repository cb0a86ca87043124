#include "tools/sfxtool/password_verdict.h"

#include <string>

#include "common/crypto/password_policy.h"
#include "tools/sfxtool/formatted.h"

std::u16string passwordVerdict(int result) {
    switch (result) {
        case kPasswordOutOfMemory:
            return u"out of memory";
        case kPasswordTooShort:
            return u"too short";
        case kPasswordTooLong:
            return u"too long";
        case kPasswordSimpleShort:
        case kPasswordSimple:
            return u"too simple";
        case kPasswordWordBased:
            return u"based on a common word";
        default:
            break;
    }
    if (result < 0) return u"rejected";
    // The quality is the estimated strength as a share of 128 bits. Under 30 (about 38 bits,
    // e.g. eight random lower-case letters) falls to a quick offline search; 30 to 49 (38 to 63
    // bits) holds off casual attempts; 50 to 79 (64 to 101 bits) is good for an archive that
    // may be attacked at leisure; from 80 (102 bits) on it is strong.
    if (result < 30) return u"weak";
    if (result < 50) return u"fair";
    if (result < 80) return u"good";
    return u"strong";
}

std::u16string resultText(int result) {
    return formatted(u"%d", result);
}
