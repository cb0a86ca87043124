// sfxtool(1), written from the option table. Texts are escaped for roff: a backslash doubled,
// every hyphen a minus sign (so options can be searched for and copied), and a line that would
// start with a dot or a quote made safe.
#include "quillon_version.h"
#include "tools/sfxtool/formatted.h"
#include "tools/sfxtool/help_text.h"
#include "tools/sfxtool/option_documents.h"
#include "tools/sfxtool/option_table.h"

namespace {

std::u16string roff(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'\\') {
            out += u"\\\\";
        } else if (c == u'-') {
            out += u"\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == u'.' || out[0] == u'\'')) out.insert(0, u"\\&");
    return out;
}

std::u16string bold(std::u16string_view text) {
    return u"\\fB" + roff(text) + u"\\fR";
}

std::u16string italic(std::u16string_view text) {
    return u"\\fI" + roff(text) + u"\\fR";
}

std::u16string optionTerm(const OptionInfo& o) {
    std::u16string term = bold(o.name);
    if (o.alias != nullptr) term += u", " + bold(o.alias);
    if (o.value != nullptr) term += u" " + italic(o.value);
    return term;
}

std::u16string synopsisLine(const CommandInfo& c) {
    std::u16string line = u"\\fBsfxtool " + roff(c.name) + u"\\fR";
    bool password = false, signing = false;
    for (const OptionInfo& o : optionTable()) {
        if ((o.commands & c.bit) == 0) continue;
        password = password || o.group == OptionGroup::kPassword;
        signing = signing || o.group == OptionGroup::kSigning;
        if (o.group == OptionGroup::kCommand) line += u" [" + optionTerm(o) + u"]";
    }
    if (password) line += u" [" + italic(u"PASSWORD") + u"]";
    if (signing) line += u" [" + italic(u"SIGNING") + u"]";
    if (*c.operands != 0) line += u" " + italic(c.operands);
    return line + u"\n.br\n";
}

// The options of `group` that go with any of `commands`, as a tagged list.
void addOptions(std::u16string& out, OptionGroup group, unsigned commands) {
    for (const OptionInfo& o : optionTable()) {
        if (o.group != group || (o.commands & commands) == 0) continue;
        out += u".TP\n" + optionTerm(o) + u"\n" + roff(o.help);
        if (o.commands == kNoCommand) out += u", in place of a command";
        out += u".\n";
    }
}

}  // namespace

std::u16string manualPage() {
    std::u16string out =
        u".TH SFXTOOL 1 \"\" \"Quillon SFX " QUILLON_VERSION_TEXT u"\" \"User Commands\"\n"
        u".SH NAME\n"
        u"sfxtool \\- make and open encrypted and self\\-extracting Quillon SFX archives\n"
        u".SH SYNOPSIS\n";
    for (const CommandInfo& c : commandTable()) out += synopsisLine(c);
    out += u"\\fBsfxtool \\-\\-version\\fR\n";
    out += u".SH DESCRIPTION\n" +
           roff(
               u"sfxtool makes and opens password-protected archives encrypted with AES-256 in "
               u"CBC mode. A self-extracting archive is a Windows program that unpacks itself "
               u"when the recipient runs it; a plain archive (.tvf) holds the same payload "
               u"without the program in front. Both are opened by sfxtool on any system.") +
           u"\n.SH COMMANDS\n";
    for (const CommandInfo& c : commandTable())
        out += u".TP\n" + bold(c.name) + u"\n" + roff(c.details) + u"\n";
    out += u".SH OPTIONS\n";
    for (const CommandInfo& c : commandTable()) {
        const std::size_t before = out.size();
        addOptions(out, OptionGroup::kCommand, c.bit);
        if (out.size() != before) out.insert(before, u".SS " + roff(c.name) + u"\n");
    }
    out += u".SS Password\n" +
           roff(
               u"create, extract, list and test ask for the password on the terminal without "
               u"echo (twice when creating, with the password meter's verdict in between). "
               u"Instead, give one of:") +
           u"\n";
    addOptions(out, OptionGroup::kPassword, kEveryCommand);
    out += u".SS Signing\n" +
           roff(
               u"The Linux build of sfxtool signs the self-extracting archive create makes "
               u"(Authenticode, SHA-256) with osslsigncode: give --sign-cert with --sign-key, "
               u"or --sign-pkcs12. The signed archive is read back under its password before it "
               u"is kept; when signing or the reading fails, nothing is left at the output "
               u"path. Signing must be the last step: anything changed in the archive "
               u"afterwards breaks both the signature and the archive. The Windows build does "
               u"not sign; use signtool on the finished archive.") +
           u"\n";
    addOptions(out, OptionGroup::kSigning, kEveryCommand);
    out += u".SS General\n";
    addOptions(out, OptionGroup::kGeneral, kEveryCommand | kNoCommand);
    out += u".SH EXIT STATUS\n";
    for (const ExitStatusInfo& e : exitStatusTable()) {
        out += u".TP\n" + bold(formatted(u"%d", e.status)) + u"\n" + roff(e.meaning) + u"\n";
    }
    out += u".SH SENDING ARCHIVES\n" + roff(webPageNote()) + u"\n";
    out += u".SH FILES\n.TP\n" + bold(webPagePlace()) + u"\n" +
           roff(
               u"The web page: it opens, lists, checks and saves archives, and makes them, in a "
               u"browser on any system, from disk as it is, without a network connection.") +
           u"\n.TP\n" + bold(u"/zq_sfx.log") + u"\n" +
           roff(
               u"When this file exists, sfxtool appends a diagnostic log to it. Its first "
               u"character sets how much is written: 1 errors only, 2 also the start banner "
               u"and system report, 3 (or an empty file) also the engine's trace, 5 every "
               u"detail.") +
           u"\n.SH EXAMPLES\n.nf\n" +
           roff(
               u"sfxtool create -o letters.exe letters/\n"
               u"sfxtool list -v letters.exe\n"
               u"sfxtool extract letters.exe -d ~/restored\n"
               u"printf '%s\\n' \"$PASSWORD\" | sfxtool test --password-stdin letters.exe\n") +
           u".fi\n";
    return out;
}
