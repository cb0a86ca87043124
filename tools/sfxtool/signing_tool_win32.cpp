// The Windows build of sfxtool does not sign: signtool, part of the platform's own tools, does
// it there after the archive is made. The options say so before anything is written.
#include "tools/sfxtool/signing_tool.h"

bool signingBuiltIn() {
    return false;
}

int runSigningTool(const std::vector<std::u16string>&, const SecretText&) {
    return -1;
}
