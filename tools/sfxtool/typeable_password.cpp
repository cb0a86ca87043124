#include "tools/sfxtool/typeable_password.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "common/support/code_page.h"
#include "tools/sfxtool/formatted.h"

bool codePageChanges(const std::u16string& text) {
    // One character at a time (a surrogate pair is one), there and back: what comes back
    // differently is what the key would be made from instead.
    for (std::size_t at = 0; at < text.size();) {
        const uint32_t units =
            isHighSurrogate(text[at]) && at + 1 < text.size() && isLowSurrogate(text[at + 1]) ? 2
                                                                                              : 1;
        uint8_t ansi[8];
        const uint32_t bytes = ansiFromWide(text.data() + at, units, ansi, sizeof ansi);
        char16_t back[8];
        const uint32_t backUnits = bytes > 0 ? wideFromAnsi(ansi, bytes, back, 8) : 0;
        if (backUnits != units || std::u16string_view(back, units) != text.substr(at, units)) {
            return true;
        }
        at += units;
    }
    return false;
}

std::u16string ansiCodePageName() {
#ifdef _WIN32
    return formatted(u"code page %u", static_cast<unsigned>(GetACP()));
#else
    return u"Windows-1252";
#endif
}

std::u16string untypeableReason(const std::u16string& password) {
    if (password.size() > kTypeablePasswordChars) {
        return formatted(
            u"the password is %u characters long, and the extractor's password and "
            u"PIN dialogs take at most %u: the recipient could not type it",
            static_cast<unsigned>(password.size()), static_cast<unsigned>(kTypeablePasswordChars));
    }
    if (codePageChanges(password)) {
        return u"the password has characters the ANSI code page (" + ansiCodePageName() +
               u") cannot hold: the key is made from its ANSI bytes, where each of them would "
               u"become '?', so the archive would open under other passwords as well; choose "
               u"one without them";
    }
    return u"";
}
