// sfxtool rate: the password meter of the password dialog, for people choosing a password and
// for scripts checking a batch. Passwords never come from the command line: they are typed
// without echo at a terminal, or read one a line from standard input.
#include "common/crypto/password_code_page.h"
#include "common/crypto/password_quality.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/password_verdict.h"
#include "tools/sfxtool/typeable_password.h"

namespace {

// The meter's verdict, and why create would refuse the password even where the meter passes
// it: the extractor's dialogs cannot take it.
std::u16string verdictFor(const std::u16string& password, int result) {
    std::u16string verdict = passwordVerdict(result);
    if (!passwordFitsCodePage(password.c_str())) {
        verdict += u"; has characters " + ansiCodePageName() + u" cannot hold (create --classic-key refuses it)";
    } else if (password.size() > kTypeablePasswordChars && result != kPasswordTooLong) {
        verdict += u"; longer than the extractor takes (create refuses it)";
    }
    return verdict;
}

}  // namespace

int runRate() {
    const bool interactive = stdinIsTerminal();
    std::u16string typed;
    for (;;) {
        if (interactive) {
            if (!readSecret(u"Password (empty to end): ", typed) || typed.empty()) break;
        } else if (!readLine(typed)) {
            break;
        }
        SecretText password;
        password.take(typed);
        const int result = checkWidePassword(password.text().c_str(), kDialogPasswordPolicy);
        print(Stream::kOut,
              resultText(result) + u"\t" + verdictFor(password.text(), result) + u"\n");
    }
    SecretText rest;
    rest.take(typed);
    return 0;
}
