#include "common/crypto/password_quality.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/password_verdict.h"
#include "tools/sfxtool/typeable_password.h"

namespace {

// "28%, weak" or "too simple": the meter's result as the create prompt shows it.
std::u16string qualityWords(int quality) {
    return (quality >= 0 ? resultText(quality) + u"%, " : u"") + passwordVerdict(quality);
}

// A new password typed at the terminal: its quality is shown before it is typed again, and
// one the meter turns away is used only when the person typing says so. The meter is advisory,
// so the answer decides; no answer (the end of input) is a no.
bool acceptedAtPrompt(const SecretText& password) {
    const int quality = checkWidePassword(password.text().c_str(), kDialogPasswordPolicy);
    print(Stream::kErr, u"Password quality: " + qualityWords(quality) + u"\n");
    if (quality >= 0) return true;
    std::u16string answer;
    if (!readAnswer(u"The password meter rejects this password: use it anyway? [y/N] ", answer)) {
        return false;
    }
    return answer == u"y" || answer == u"Y" || answer == u"yes" || answer == u"Yes";
}

// A new password given by -p or on standard input: nobody is there to ask, so what the meter
// thinks of a password it turns away is said, and the archive is made with it all the same.
void warnIfRejected(const SecretText& password) {
    const int quality = checkWidePassword(password.text().c_str(), kDialogPasswordPolicy);
    if (quality >= 0) return;
    complain(u"warning: the password meter rejects this password (" + qualityWords(quality) +
             u"); the archive is made with it, and is only as safe as the password");
}

}  // namespace

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
        case PasswordFrom::kPrompt:
            if (!readSecret(u"Password: ", typed)) {
                complain(
                    u"no terminal to ask for the password on: use -p, --password-stdin or "
                    u"--no-password");
                return kExitUsage;
            }
            password.take(typed);
            break;
    }
    if (password.empty()) {
        complain(
            u"an empty password would leave the archive without encryption: use "
            u"--no-password to mean that");
        return kExitUsage;
    }
    if (!confirm) return 0;
    // A new password: the recipient has to be able to type it into the extractor, whichever
    // way it came.
    if (const std::u16string why = untypeableReason(password.text(), o.classicKey); !why.empty()) {
        complain(why);
        return kExitUsage;
    }
    if (o.passwordFrom != PasswordFrom::kPrompt) {
        warnIfRejected(password);
        return 0;
    }
    if (!acceptedAtPrompt(password)) {
        complain(u"no archive made: choose another password");
        return kExitUsage;
    }
    std::u16string again;
    const bool ok = readSecret(u"Confirm password: ", again);
    const bool same = ok && again == password.text();
    SecretText wiped;
    wiped.take(again);
    if (!same) {
        complain(u"the passwords do not match");
        return kExitUsage;
    }
    return 0;
}
