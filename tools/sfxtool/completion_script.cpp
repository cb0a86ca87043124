// The bash completion script and the plain listing of the options, written from the option
// table. A value named DIR completes to folders, PASSWORD and URL to nothing (a password is
// never offered from history or files), any other value to file names, quoted by bash as it
// quotes file names.
#include "tools/sfxtool/option_documents.h"
#include "tools/sfxtool/option_table.h"

namespace {

// Every spelling of the options that go with `bits`, separated by spaces.
std::u16string spellings(unsigned bits) {
    std::u16string out;
    for (const OptionInfo& o : optionTable()) {
        if ((o.commands & bits) == 0) continue;
        if (!out.empty()) out += u' ';
        out += o.name;
        if (o.alias != nullptr) out += std::u16string(u" ") + o.alias;
    }
    return out;
}

std::u16string valueCompletion(const OptionInfo& o) {
    const std::u16string_view value = o.value;
    if (value == u"PASSWORD" || value == u"URL") return u"COMPREPLY=()";
    if (value == u"DIR") return u"_sfxtool_names -d \"$word\"";
    return u"_sfxtool_names -f \"$word\"";
}

// Names are offered one a line, never split at spaces, and marked as file names, so that bash
// quotes what it puts on the line: a name with spaces or quotes arrives whole. compgen gets the
// word as bash hands it to the function, quotes and backslashes included: completing file
// names, it undoes them itself when the word has any (undoing them first would undo them twice).
constexpr char16_t kNameHelper[] =
    u"# _sfxtool_names -f|-d WORD: the files or folders whose names start with WORD.\n"
    u"_sfxtool_names() {\n"
    u"    compopt -o filenames 2>/dev/null\n"
    u"    mapfile -t COMPREPLY < <(compgen \"$1\" -- \"$2\")\n"
    u"}\n";

}  // namespace

std::u16string completionScript() {
    std::u16string commands;
    for (const CommandInfo& c : commandTable()) commands += std::u16string(c.name) + u' ';
    std::u16string out =
        u"# bash completion for sfxtool, written by `sfxtool --dump-options bash`.\n" +
        std::u16string(kNameHelper) +
        u"_sfxtool() {\n"
        u"    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} i\n"
        u"    local word=${2-$cur}\n"
        u"    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
        u"        mapfile -t COMPREPLY < <(compgen -W '" +
        commands + spellings(kNoCommand) +
        u"' -- \"$cur\")\n"
        u"        return\n"
        u"    fi\n"
        u"    case $prev in\n";
    for (const OptionInfo& o : optionTable()) {
        if (o.value == nullptr) continue;
        out += u"        " + std::u16string(o.name) + u") " + valueCompletion(o) + u"; return ;;\n";
    }
    out +=
        u"    esac\n"
        u"    local options= names=yes\n"
        u"    case ${COMP_WORDS[1]} in\n";
    for (const CommandInfo& c : commandTable()) {
        out += u"        " + std::u16string(c.name) + u") options='" + spellings(c.bit) + u"'";
        if (*c.operands == 0) out += u"; names=";
        out += u" ;;\n";
    }
    out +=
        u"        *) return ;;\n"
        u"    esac\n"
        u"    for ((i = 2; i < COMP_CWORD; i++)); do\n"
        u"        [ \"${COMP_WORDS[i]}\" = -- ] && options=\n"
        u"    done\n"
        u"    if [ -n \"$options\" ] && [[ $cur == -* ]]; then\n"
        u"        mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n"
        u"    elif [ -n \"$names\" ]; then\n"
        u"        _sfxtool_names -f \"$word\"\n"
        u"    else\n"
        u"        COMPREPLY=()\n"
        u"    fi\n"
        u"}\n"
        u"complete -o filenames -F _sfxtool sfxtool\n";
    return out;
}

std::u16string optionListing() {
    std::u16string out;
    for (const OptionInfo& o : optionTable()) {
        const std::u16string value = o.value != nullptr ? o.value : u"";
        for (const char16_t* name : {o.name, o.alias}) {
            if (name == nullptr) continue;
            if ((o.commands & kNoCommand) != 0)
                out += u"\t" + std::u16string(name) + u"\t" + value + u"\n";
            for (const CommandInfo& c : commandTable()) {
                if ((o.commands & c.bit) == 0) continue;
                out += std::u16string(c.name) + u"\t" + name + u"\t" + value + u"\n";
            }
        }
    }
    return out;
}
