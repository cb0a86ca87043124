// A tiny program that prints what the system report says about the Windows it runs on. The
// system report test copies it under several names and gives each name its own Windows version
// in Wine's per-program settings, which is how one machine shows many versions at once.
#include <cstdio>
#include <string>

#include "common/support/system_report.h"
#include "common/support/utf8.h"

namespace {

// One line per text; a line feed inside a text shows as "\n".
std::string shown(const char16_t* text) {
    if (text == nullptr) return "<none>";
    std::string out;
    for (char c : utf8FromWide(text)) {
        if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

int main() {
    std::printf("class=%d\n", osClass());
    std::printf("description=%s\n", shown(osDescription()).c_str());
    std::printf("language=%s\n", shown(uiLanguage()).c_str());
    return 0;
}
