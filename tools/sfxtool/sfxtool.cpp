#include "tools/sfxtool/sfxtool.h"

#include "common/support/log.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/console.h"

namespace {

constexpr const char16_t* kUsage =
    u"usage: sfxtool create [-o ARCHIVE] [--plain] [--stub FILE] [PASSWORD] [SIGNING] [-C DIR]\n"
    u"                      PATH...\n"
    u"       sfxtool extract ARCHIVE [-d DIR] [PASSWORD]\n"
    u"       sfxtool list ARCHIVE [PASSWORD]\n"
    u"       sfxtool test ARCHIVE [PASSWORD]\n"
    u"       sfxtool rate (passwords typed without echo, or one a line on standard input)\n"
    u"PASSWORD: asked for without echo by default; or -p PASSWORD, --password-stdin (one line),\n"
    u"          --no-password (an archive without encryption)\n"
    u"SIGNING (Linux build, with osslsigncode): --sign-cert CERT --sign-key KEY, or\n"
    u"          --sign-pkcs12 FILE; [--sign-pass PASS] [--sign-timestamp URL]\n"
    u"exit status: 0 success, 1 wrong password, 2 corrupt or unreadable, 3 out of memory,\n"
    u"             4 a file could not be written, 5 signing failed, 64 usage error\n";

}  // namespace

int runSfxtool(std::vector<std::u16string>& args) {
    // The same diagnostic log as the other programs, when a zq_sfx.log asks for it.
    initLog(u"zq_sfx", nullptr, 0);
    if (!args.empty() && (args[0] == u"-h" || args[0] == u"--help" || args[0] == u"help")) {
        print(Stream::kOut, kUsage);
        return 0;
    }
    Options o;
    const std::u16string error = parseOptions(args, o);
    for (std::u16string& a : args) secureZero(a.data(), a.size() * sizeof(char16_t));
    if (!error.empty()) {
        complain(error);
        print(Stream::kErr, kUsage);
        return kExitUsage;
    }
    if (o.command == u"create") return runCreate(o);
    if (o.command == u"extract") return runExtract(o, false);
    if (o.command == u"test") return runExtract(o, true);
    if (o.command == u"rate") return runRate();
    return runList(o);
}
