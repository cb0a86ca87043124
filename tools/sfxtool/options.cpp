#include "tools/sfxtool/options.h"

#include "tools/sfxtool/option_table.h"

namespace {

// Stores one option the table let through. False for an option the table lists but this
// parser has no place for (a test walks the table to make sure there is none).
bool store(const std::u16string& name, std::u16string& value, Options& out) {
    if (name == u"-p") {
        out.password.take(value);
        out.passwordFrom = PasswordFrom::kArgument;
    } else if (name == u"--password-stdin") {
        out.passwordFrom = PasswordFrom::kStdin;
    } else if (name == u"--no-password") {
        out.passwordFrom = PasswordFrom::kNone;
    } else if (name == u"-o") {
        out.output = value;
    } else if (name == u"--stub") {
        out.stubFile = value;
    } else if (name == u"-C") {
        out.baseFolder = value;
    } else if (name == u"-d") {
        out.destination = value;
    } else if (name == u"--sign-cert") {
        out.signCert = value;
    } else if (name == u"--sign-key") {
        out.signKey = value;
    } else if (name == u"--sign-pkcs12") {
        out.signPkcs12 = value;
    } else if (name == u"--sign-pass") {
        out.signPass.take(value);
    } else if (name == u"--sign-timestamp") {
        out.signTimestamp = value;
    } else if (name == u"--keep-existing") {
        out.keepExisting = true;
    } else if (name == u"--plain") {
        out.plain = true;
    } else if (name == u"--classic-key") {
        out.classicKey = true;
    } else if (name == u"--no-integrity") {
        out.noIntegrity = true;
    } else if (name == u"--no-metadata") {
        out.noMetadata = true;
    } else if (name == u"--allow-unverified") {
        out.allowUnverified = true;
    } else if (name == u"-q") {
        out.quiet = true;
    } else if (name == u"-v") {
        out.verbose = true;
    } else if (name == u"-h" || name == u"--help") {
        out.help = true;
    } else if (name == u"--version") {
        out.version = true;
    } else {
        return false;
    }
    return true;
}

// A password on the command line would sit in the shell history and the process list.
constexpr const char16_t* kRateTakesNothing =
    u"rate takes no arguments: it reads the passwords from the terminal or, one a line, from "
    u"standard input";

bool isOption(const std::u16string& a) {
    return a.size() > 1 && a[0] == u'-';
}

}  // namespace

std::u16string parseOptions(std::vector<std::u16string>& args, Options& out) {
    if (args.empty()) return u"no command given";
    unsigned commandBit = kNoCommand;
    std::size_t first = 0;
    if (!isOption(args[0])) {
        out.command = args[0];
        const CommandInfo* command = findCommand(out.command);
        if (command == nullptr) return u"unknown command '" + out.command + u"'";
        commandBit = command->bit;
        first = 1;
    }
    int passwordOptions = 0;
    bool endOfOptions = false;
    for (std::size_t i = first; i < args.size(); ++i) {
        std::u16string& a = args[i];
        if (endOfOptions || !isOption(a)) {
            if (commandBit == kNoCommand) return u"no command given";
            out.paths.push_back(a);
            continue;
        }
        const OptionInfo* option = findOption(a);
        if (commandBit == kRateCommand && (option == nullptr || !(option->commands & kRateCommand)))
            return kRateTakesNothing;
        if (option == nullptr) return u"unknown option " + a;
        if ((option->commands & commandBit) == 0) {
            return commandBit == kNoCommand ? a + u" needs a command"
                                            : a + u" does not go with " + out.command;
        }
        if (a == u"--") {
            endOfOptions = true;
            continue;
        }
        std::u16string none;
        std::u16string* value = &none;
        if (option->value != nullptr) {
            if (i + 1 >= args.size()) return a + u" needs a value";
            value = &args[++i];
        }
        if (!store(a, *value, out)) return u"the option " + a + u" is listed but not handled";
        if (out.help || out.version) return u"";
        if (option->group == OptionGroup::kPassword) ++passwordOptions;
    }
    if (commandBit == kNoCommand) return u"no command given";
    if (commandBit == kRateCommand && !out.paths.empty()) return kRateTakesNothing;
    if (passwordOptions > 1) return u"give at most one of -p, --password-stdin, --no-password";
    const bool create = commandBit == kCreateCommand;
    if (create && out.paths.empty()) return u"create needs at least one file or folder";
    if (create && out.plain && !out.stubFile.empty())
        return u"--plain and --stub exclude each other";
    if (!create && commandBit != kRateCommand && out.paths.size() != 1)
        return out.command + u" needs exactly one archive";
    return u"";
}
