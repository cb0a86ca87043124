// The commands and options of sfxtool, in one table. The parser accepts an option only where the
// table lets it, and the help texts, the manual page and the shell completion are all written
// from the same table, so none of them can describe an option the tool does not have.
#pragma once

#include <span>
#include <string>
#include <string_view>

// Which commands an option goes with, one bit each. kNoCommand: in place of a command, as in
// `sfxtool --version`.
enum CommandBit : unsigned {
    kCreateCommand = 1u << 0,
    kExtractCommand = 1u << 1,
    kListCommand = 1u << 2,
    kTestCommand = 1u << 3,
    kRateCommand = 1u << 4,
    kNoCommand = 1u << 5,
};
constexpr unsigned kArchiveCommands =
    kCreateCommand | kExtractCommand | kListCommand | kTestCommand;
constexpr unsigned kEveryCommand = kArchiveCommands | kRateCommand;

struct CommandInfo {
    const char16_t* name;
    unsigned bit;
    const char16_t* operands;  // what follows the options in the synopsis ("" for none)
    const char16_t* summary;   // one line, for the overview
    const char16_t* details;   // a paragraph, for the command's help and the manual
};

// How an option is presented: the command's own options, the three ways to give a password
// (shown together as [PASSWORD] in a synopsis), the signing options ([SIGNING]), and the ones
// every command takes.
enum class OptionGroup { kCommand, kPassword, kSigning, kGeneral };

struct OptionInfo {
    const char16_t* name;
    const char16_t* alias;  // another spelling (--help for -h), or null
    const char16_t* value;  // the value's placeholder, or null for a switch
    unsigned commands;      // CommandBit values
    OptionGroup group;
    const char16_t* help;
};

struct ExitStatusInfo {
    int status;
    const char16_t* meaning;
};

std::span<const CommandInfo> commandTable();
std::span<const OptionInfo> optionTable();
std::span<const ExitStatusInfo> exitStatusTable();

// Null when there is no such command or option (an option is found by either spelling).
const CommandInfo* findCommand(std::u16string_view name);
const OptionInfo* findOption(std::u16string_view name);

// "-o ARCHIVE", "--plain", "-h, --help": how the option is shown in a list of options.
std::u16string optionLabel(const OptionInfo& o);
// "sfxtool create [-o ARCHIVE] ... [PASSWORD] PATH...": the command's synopsis.
std::u16string synopsisOf(const CommandInfo& c);
