#include "tools/sfxtool/help_text.h"

#include "quillon_version.h"
#include "tools/sfxtool/formatted.h"

namespace {

constexpr std::size_t kWidth = 79;
constexpr std::size_t kLabelColumn = 24;

// The paragraph broken into lines of at most kWidth characters, each starting with `indent`.
std::u16string wrapped(std::u16string_view text, std::size_t indent) {
    std::u16string out, line(indent, u' ');
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(u' ', at);
        if (end == std::u16string_view::npos) end = text.size();
        const std::u16string_view word = text.substr(at, end - at);
        if (line.size() > indent && line.size() + 1 + word.size() > kWidth) {
            out += line + u"\n";
            line.assign(indent, u' ');
        }
        if (line.size() > indent) line += u' ';
        line += word;
        at = end + 1;
    }
    if (line.size() > indent) out += line + u"\n";
    return out;
}

// "  -o ARCHIVE            write the archive to ..." with the help wrapped under itself.
std::u16string optionLine(const OptionInfo& o) {
    std::u16string head = u"  " + optionLabel(o);
    if (head.size() + 2 > kLabelColumn) {
        head += u"\n";
        head.append(kLabelColumn, u' ');
    } else {
        head.resize(kLabelColumn, u' ');
    }
    std::u16string help = wrapped(o.help, kLabelColumn);
    return head + help.substr(kLabelColumn);
}

std::u16string optionsOf(unsigned commandBit, OptionGroup group) {
    std::u16string out;
    for (const OptionInfo& o : optionTable())
        if ((o.commands & commandBit) != 0 && o.group == group) out += optionLine(o);
    return out;
}

// A synopsis longer than a line, broken between its bracketed parts and continued under the
// command's first option.
std::u16string synopsisLines(const std::u16string& lead, const CommandInfo& c) {
    const std::u16string head = lead + u"sfxtool " + c.name;
    const std::u16string synopsis = synopsisOf(c);
    const std::u16string_view rest =
        std::u16string_view(synopsis).substr(head.size() - lead.size());
    std::u16string out, line = head, part;
    std::size_t depth = 0;
    const auto place = [&] {
        if (part.empty()) return;
        if (line.size() + 1 + part.size() > kWidth) {
            out += line + u"\n";
            line.assign(head.size(), u' ');
        }
        line += u" " + part;
        part.clear();
    };
    for (char16_t ch : rest) {
        if (ch == u'[') ++depth;
        if (ch == u']') --depth;
        if (ch == u' ' && depth == 0) {
            place();
        } else {
            part += ch;
        }
    }
    place();
    return out + line + u"\n";
}

}  // namespace

std::u16string usageLines(const CommandInfo* command) {
    std::u16string out;
    const char16_t* lead = u"usage: ";
    for (const CommandInfo& c : commandTable()) {
        if (command != nullptr && command != &c) continue;
        out += synopsisLines(lead, c);
        lead = u"       ";
    }
    return out;
}

std::u16string overviewHelp() {
    std::u16string out = usageLines(nullptr);
    out += u"       sfxtool --version\n\nCommands:\n";
    for (const CommandInfo& c : commandTable()) {
        std::u16string head = u"  " + std::u16string(c.name);
        head.resize(kLabelColumn, u' ');
        out += head + c.summary + u"\n";
    }
    out += u"\nPASSWORD: asked for without echo by default (twice when creating), or one of:\n";
    out += optionsOf(kCreateCommand, OptionGroup::kPassword);
    out += u"\nGeneral options:\n" + optionsOf(kEveryCommand | kNoCommand, OptionGroup::kGeneral);
    out += u"\nExit status:\n";
    for (const ExitStatusInfo& e : exitStatusTable()) {
        std::u16string head = u"  " + formatted(u"%d", e.status);
        head.resize(kLabelColumn, u' ');
        out += head + e.meaning + u"\n";
    }
    out += u"\n" + wrapped(webPageNote(), 0);
    out += u"\n'sfxtool COMMAND --help' describes one command and its options.\n";
    return out;
}

std::u16string commandHelp(const CommandInfo& command) {
    std::u16string out = synopsisLines(u"usage: ", command) + u"\n";
    out += wrapped(command.details, 0);
    const std::u16string own = optionsOf(command.bit, OptionGroup::kCommand);
    if (!own.empty()) out += u"\nOptions:\n" + own;
    const std::u16string password = optionsOf(command.bit, OptionGroup::kPassword);
    if (!password.empty()) {
        out += command.bit == kCreateCommand
                   ? u"\nPASSWORD: asked for twice without echo by default, or one of:\n"
                   : u"\nPASSWORD: asked for without echo by default, or one of:\n";
        out += password;
    }
    const std::u16string signing = optionsOf(command.bit, OptionGroup::kSigning);
    if (!signing.empty()) {
        out +=
            u"\nSIGNING (the Linux build, with osslsigncode): --sign-cert with --sign-key, or\n"
            u"--sign-pkcs12; the signed archive is read back before it is kept.\n" +
            signing;
    }
    out += u"\nGeneral options:\n" + optionsOf(command.bit, OptionGroup::kGeneral);
    return out;
}

std::u16string webPagePlace() {
#ifdef _WIN32
    return u"quillon.html (beside sfxtool.exe)";
#else
    return u"/usr/share/quillon-sfx/quillon.html";
#endif
}

std::u16string webPageNote() {
    return u"The web page " + webPagePlace() +
           u" opens and makes the same archives in any current browser, with nothing "
           u"installed. Where mail refuses .exe attachments, send a .tvf archive (create "
           u"--plain) together with the page, or the .exe inside a zip file.";
}

std::u16string versionText() {
    return u"sfxtool (Quillon SFX) " QUILLON_VERSION_TEXT u"\n";
}
