#include "tools/sfxtool/typeable_password.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "common/crypto/password_code_page.h"
#include "tools/sfxtool/formatted.h"

std::u16string ansiCodePageName() {
#ifdef _WIN32
    return formatted(u"code page %u", static_cast<unsigned>(GetACP()));
#else
    return u"Windows-1252";
#endif
}

std::u16string untypeableReason(const std::u16string& password, bool classicKey) {
    if (password.size() > kTypeablePasswordChars) {
        return formatted(
            u"the password is %u characters long, and the extractor's password and "
            u"PIN dialogs take at most %u: the recipient could not type it",
            static_cast<unsigned>(password.size()), static_cast<unsigned>(kTypeablePasswordChars));
    }
    if (classicKey && !passwordFitsCodePage(password.c_str())) {
        return u"the password has characters the ANSI code page (" + ansiCodePageName() +
               u") cannot hold: the key is made from its ANSI bytes, where each of them would "
               u"become '?', so the archive would open under other passwords as well; choose "
               u"one without them (or leave out --classic-key: a hardened key is made from the "
               u"password's Unicode characters)";
    }
    return u"";
}
