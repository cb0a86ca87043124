// Arguments arrive as UTF-16 here (wmain), so no name is lost to the ANSI code page.
#include <string>
#include <vector>

#include "tools/sfxtool/interrupts.h"
#include "tools/sfxtool/sfxtool.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    const int status = runSfxtool(args);
    endAsInterrupted();
    return status;
}
