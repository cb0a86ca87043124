#include "tools/sfxtool/options.h"

#include "tools/sfxtool/sign_archive.h"

namespace {

bool takesValue(const std::u16string& a) {
    return a == u"-o" || a == u"--stub" || a == u"-C" || a == u"-d" || a == u"-p" ||
           a == u"--sign-cert" || a == u"--sign-key" || a == u"--sign-pkcs12" ||
           a == u"--sign-pass" || a == u"--sign-timestamp";
}

}  // namespace

std::u16string parseOptions(std::vector<std::u16string>& args, Options& out) {
    if (args.empty()) return u"no command given";
    out.command = args[0];
    const bool create = out.command == u"create";
    const bool extract = out.command == u"extract";
    const bool reads = extract || out.command == u"list" || out.command == u"test";
    if (out.command == u"rate") {
        // A password on the command line would sit in the shell history and the process list.
        if (args.size() > 1)
            return u"rate takes no arguments: it reads the passwords from the terminal or, one "
                   u"a line, from standard input";
        return u"";
    }
    if (!create && !reads) return u"unknown command '" + out.command + u"'";
    int passwordOptions = 0;
    bool endOfOptions = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::u16string& a = args[i];
        if (endOfOptions || a.empty() || a[0] != u'-' || a == u"-") {
            out.paths.push_back(a);
            continue;
        }
        if (a == u"--") {
            endOfOptions = true;
            continue;
        }
        if (takesValue(a)) {
            if (i + 1 >= args.size()) return a + u" needs a value";
            std::u16string& v = args[++i];
            if (a == u"-p") {
                out.password.take(v);
                out.passwordFrom = PasswordFrom::kArgument;
                ++passwordOptions;
            } else if (a == u"-o" && create) {
                out.output = v;
            } else if (a == u"--stub" && create) {
                out.stubFile = v;
            } else if (a == u"-C" && create) {
                out.baseFolder = v;
            } else if (a == u"-d" && extract) {
                out.destination = v;
            } else if (a == u"--sign-cert" && create) {
                out.signCert = v;
            } else if (a == u"--sign-key" && create) {
                out.signKey = v;
            } else if (a == u"--sign-pkcs12" && create) {
                out.signPkcs12 = v;
            } else if (a == u"--sign-pass" && create) {
                out.signPass.take(v);
            } else if (a == u"--sign-timestamp" && create) {
                out.signTimestamp = v;
            } else {
                return a + u" does not go with " + out.command;
            }
        } else if (a == u"--plain" && create) {
            out.plain = true;
        } else if (a == u"--password-stdin") {
            out.passwordFrom = PasswordFrom::kStdin;
            ++passwordOptions;
        } else if (a == u"--no-password") {
            out.passwordFrom = PasswordFrom::kNone;
            ++passwordOptions;
        } else {
            return u"unknown option " + a;
        }
    }
    if (passwordOptions > 1) return u"give at most one of -p, --password-stdin, --no-password";
    if (create && out.paths.empty()) return u"create needs at least one file or folder";
    if (create && out.plain && !out.stubFile.empty())
        return u"--plain and --stub exclude each other";
    if (reads && out.paths.size() != 1) return out.command + u" needs exactly one archive";
    if (create) return signingOptionsProblem(out);
    return u"";
}
