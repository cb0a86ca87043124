#include "common/crypto/password_quality.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/password_verdict.h"

void complain(const std::u16string& message) {
    print(Stream::kErr, u"sfxtool: " + message + u"\n");
}

int obtainPassword(Options& o, bool confirm, SecretText& password) {
    std::u16string typed;
    switch (o.passwordFrom) {
        case PasswordFrom::kNone:
            password.wipe();
            return 0;
        case PasswordFrom::kArgument:
            typed = o.password.text();
            password.take(typed);
            break;
        case PasswordFrom::kStdin:
            if (!readLine(typed)) {
                complain(u"no password on standard input");
                return kExitUsage;
            }
            password.take(typed);
            break;
        case PasswordFrom::kPrompt: {
            if (!readSecret(u"Password: ", typed)) {
                complain(
                    u"no terminal to ask for the password on: use -p, --password-stdin or "
                    u"--no-password");
                return kExitUsage;
            }
            password.take(typed);
            if (confirm) {
                // A new password: say what the meter thinks before it is typed again.
                const int quality =
                    checkWidePassword(password.text().c_str(), kDialogPasswordPolicy);
                const std::u16string figure = quality >= 0 ? resultText(quality) + u"%, " : u"";
                print(Stream::kErr,
                      u"Password quality: " + figure + passwordVerdict(quality) + u"\n");
                std::u16string again;
                const bool ok = readSecret(u"Confirm password: ", again);
                const bool same = ok && again == password.text();
                SecretText wiped;
                wiped.take(again);
                if (!same) {
                    complain(u"the passwords do not match");
                    return kExitUsage;
                }
            }
            break;
        }
    }
    if (password.empty()) {
        complain(
            u"an empty password would leave the archive without encryption: use "
            u"--no-password to mean that");
        return kExitUsage;
    }
    return 0;
}
