// Arguments arrive as UTF-8 bytes here.
#include <string>
#include <vector>

#include "common/support/utf8.h"
#include "tools/sfxtool/interrupts.h"
#include "tools/sfxtool/sfxtool.h"

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(wideFromUtf8(argv[i]));
    const int status = runSfxtool(args);
    endAsInterrupted();
    return status;
}
