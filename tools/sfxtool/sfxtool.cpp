#include "tools/sfxtool/sfxtool.h"

#include "common/support/log.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"
#include "tools/sfxtool/help_text.h"
#include "tools/sfxtool/option_documents.h"
#include "tools/sfxtool/sign_archive.h"

namespace {

// The build writes the manual page and the completion script with this; it is not one of the
// tool's options, so no document lists it.
int dumpOptions(const std::vector<std::u16string>& args) {
    const std::u16string what = args.size() == 2 ? args[1] : u"";
    if (what == u"man") {
        print(Stream::kOut, manualPage());
    } else if (what == u"bash") {
        print(Stream::kOut, completionScript());
    } else if (what == u"table") {
        print(Stream::kOut, optionListing());
    } else {
        complain(u"--dump-options takes man, bash or table");
        return kExitUsage;
    }
    return 0;
}

}  // namespace

int runSfxtool(std::vector<std::u16string>& args) {
    // The same diagnostic log as the other programs, when a zq_sfx.log asks for it.
    initLog(u"zq_sfx", nullptr, 0);
    if (!args.empty() && args[0] == u"--dump-options") return dumpOptions(args);
    Options o;
    std::u16string error = parseOptions(args, o);
    // Whether signing can be done as asked is the signing step's to say, before anything is
    // read or written; a usage error all the same.
    if (error.empty() && o.command == u"create" && !o.help) error = signingOptionsProblem(o);
    for (std::u16string& a : args) secureZero(a.data(), a.size() * sizeof(char16_t));
    const CommandInfo* command = findCommand(o.command);
    if (!error.empty()) {
        complain(error);
        print(Stream::kErr, usageLines(command));
        return kExitUsage;
    }
    if (o.version) {
        print(Stream::kOut, versionText());
        return 0;
    }
    if (o.help) {
        print(Stream::kOut, command != nullptr ? commandHelp(*command) : overviewHelp());
        return 0;
    }
    if (o.command == u"create") return runCreate(o);
    if (o.command == u"extract") return runExtract(o, false);
    if (o.command == u"test") return runExtract(o, true);
    if (o.command == u"rate") return runRate();
    return runList(o);
}
