// sfxtool's command line: each option is taken exactly by the commands the option table gives it
// and lands where the commands read it; the end of options, help and version; the usage errors;
// and the texts written from the table (help, manual page) showing what each command takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/sfxtool/help_text.h"
#include "tools/sfxtool/option_documents.h"
#include "tools/sfxtool/option_table.h"
#include "tools/sfxtool/options.h"

namespace {

using Args = std::vector<std::u16string>;

std::u16string parse(Args args, Options& out) {
    return parseOptions(args, out);
}

std::u16string parse(Args args) {
    Options ignored;
    return parseOptions(args, ignored);
}

// The arguments that make `command` complete apart from the option under test.
Args operandsOf(const CommandInfo& c) {
    if (c.bit == kCreateCommand) return {u"in"};
    if (c.bit == kRateCommand) return {};
    return {u"a.tvf"};
}

bool contains(const std::u16string& text, const std::u16string& part) {
    return text.find(part) != std::u16string::npos;
}

// The text with every run of spaces and line ends made one space, as a reader takes a wrapped
// line.
std::u16string collapsed(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        const bool blank = c == u' ' || c == u'\n';
        if (blank && !out.empty() && out.back() == u' ') continue;
        out += blank ? u' ' : c;
    }
    return out;
}

std::string narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

TEST(SfxtoolOptions, EachOptionGoesWithExactlyTheCommandsTheTableGivesIt) {
    for (const OptionInfo& o : optionTable()) {
        for (const CommandInfo& c : commandTable()) {
            Args args = {c.name, o.name};
            if (o.value != nullptr) args.push_back(u"value");
            for (const std::u16string& operand : operandsOf(c)) args.push_back(operand);
            const std::u16string error = parse(args);
            const std::string what = narrow(o.name) + " with " + narrow(c.name);
            if ((o.commands & c.bit) != 0) {
                EXPECT_EQ(narrow(error), "") << what;
            } else if (c.bit == kRateCommand) {
                EXPECT_TRUE(contains(error, u"rate takes no arguments")) << what;
            } else {
                EXPECT_EQ(error, std::u16string(o.name) + u" does not go with " + c.name) << what;
            }
        }
    }
}

TEST(SfxtoolOptions, ValuesLandWhereTheCommandsReadThem) {
    Options create;
    ASSERT_EQ(parse({u"create", u"-o", u"out.exe", u"--stub", u"stub.exe", u"-C", u"base", u"-q",
                     u"-p", u"-secret", u"a", u"b"},
                    create),
              u"");
    EXPECT_EQ(create.command, u"create");
    EXPECT_EQ(create.output, u"out.exe");
    EXPECT_EQ(create.stubFile, u"stub.exe");
    EXPECT_EQ(create.baseFolder, u"base");
    EXPECT_TRUE(create.quiet);
    EXPECT_FALSE(create.plain);
    EXPECT_EQ(create.passwordFrom, PasswordFrom::kArgument);
    EXPECT_EQ(create.password.text(), u"-secret") << "a value may start with a dash";
    EXPECT_EQ(create.paths, (Args{u"a", u"b"}));

    Options extract;
    ASSERT_EQ(parse({u"extract", u"x.exe", u"-d", u"dest", u"--password-stdin"}, extract), u"");
    EXPECT_EQ(extract.destination, u"dest");
    EXPECT_EQ(extract.passwordFrom, PasswordFrom::kStdin);
    EXPECT_FALSE(extract.quiet);

    Options list;
    ASSERT_EQ(parse({u"list", u"-v", u"--no-password", u"x.tvf"}, list), u"");
    EXPECT_TRUE(list.verbose);
    EXPECT_EQ(list.passwordFrom, PasswordFrom::kNone);

    Options signing;
    ASSERT_EQ(parse({u"create", u"--sign-cert", u"c.pem", u"--sign-key", u"k.pem", u"--sign-pkcs12",
                     u"s.p12", u"--sign-pass", u"pw", u"--sign-timestamp", u"http://t", u"a"},
                    signing),
              u"");
    EXPECT_EQ(signing.signCert, u"c.pem");
    EXPECT_EQ(signing.signKey, u"k.pem");
    EXPECT_EQ(signing.signPkcs12, u"s.p12");
    EXPECT_EQ(signing.signPass.text(), u"pw");
    EXPECT_EQ(signing.signTimestamp, u"http://t");
    EXPECT_EQ(signing.passwordFrom, PasswordFrom::kPrompt)
        << "a key's password is not the archive's";

    Options plain;
    ASSERT_EQ(parse({u"create", u"--plain", u"a"}, plain), u"");
    EXPECT_TRUE(plain.plain);
    EXPECT_EQ(plain.passwordFrom, PasswordFrom::kPrompt);
}

TEST(SfxtoolOptions, DoubleDashEndsTheOptions) {
    Options o;
    ASSERT_EQ(parse({u"list", u"--", u"-v"}, o), u"");
    EXPECT_FALSE(o.verbose);
    EXPECT_EQ(o.paths, (Args{u"-v"}));
    Options c;
    ASSERT_EQ(parse({u"create", u"-p", u"x", u"--", u"--plain", u"-", u"--"}, c), u"");
    EXPECT_FALSE(c.plain);
    EXPECT_EQ(c.paths, (Args{u"--plain", u"-", u"--"}));
    Options dash;
    ASSERT_EQ(parse({u"extract", u"-"}, dash), u"") << "a lone dash is a name";
    EXPECT_EQ(dash.paths, (Args{u"-"}));
}

TEST(SfxtoolOptions, HelpAndVersion) {
    Options help;
    ASSERT_EQ(parse({u"create", u"--help"}, help), u"") << "help needs nothing else";
    EXPECT_TRUE(help.help);
    EXPECT_EQ(help.command, u"create");
    Options shortHelp;
    ASSERT_EQ(parse({u"extract", u"-h"}, shortHelp), u"");
    EXPECT_TRUE(shortHelp.help);
    Options overview;
    ASSERT_EQ(parse({u"--help"}, overview), u"");
    EXPECT_TRUE(overview.help);
    EXPECT_EQ(overview.command, u"");
    Options version;
    ASSERT_EQ(parse({u"--version"}, version), u"");
    EXPECT_TRUE(version.version);
    EXPECT_EQ(parse({u"create", u"--version", u"a"}), u"--version does not go with create");
    EXPECT_EQ(parse({u"-v"}), u"-v needs a command");
    EXPECT_EQ(parse({u"list", u"--", u"--help"}).empty(), true) << "after --, a name";
}

TEST(SfxtoolOptions, UsageErrors) {
    EXPECT_EQ(parse({}), u"no command given");
    EXPECT_EQ(parse({u"frobnicate"}), u"unknown command 'frobnicate'");
    EXPECT_EQ(parse({u"list", u"--frob", u"a.tvf"}), u"unknown option --frob");
    EXPECT_EQ(parse({u"create", u"a", u"-o"}), u"-o needs a value");
    EXPECT_EQ(parse({u"create", u"-p", u"x", u"--no-password", u"a"}),
              u"give at most one of -p, --password-stdin, --no-password");
    EXPECT_EQ(parse({u"create", u"--plain", u"--stub", u"s", u"a"}),
              u"--plain and --stub exclude each other");
    EXPECT_EQ(parse({u"create", u"-q"}), u"create needs at least one file or folder");
    EXPECT_EQ(parse({u"list", u"a.tvf", u"b.tvf"}), u"list needs exactly one archive");
    EXPECT_EQ(parse({u"test"}), u"test needs exactly one archive");
    EXPECT_TRUE(contains(parse({u"rate", u"secret"}), u"rate takes no arguments"));
}

// Each command's help and synopsis name every option it takes and none it does not.
TEST(SfxtoolOptions, EachCommandsHelpShowsItsOptions) {
    for (const CommandInfo& c : commandTable()) {
        const std::u16string help = commandHelp(c);
        const std::u16string synopsis = synopsisOf(c);
        EXPECT_TRUE(contains(collapsed(help), synopsis)) << narrow(c.name);
        for (const OptionInfo& o : optionTable()) {
            const std::u16string label = u"  " + optionLabel(o) + u" ";
            const bool takes = (o.commands & c.bit) != 0;
            EXPECT_EQ(contains(help, label), takes) << narrow(o.name) << " in " << narrow(c.name);
            if (o.group == OptionGroup::kCommand) {
                EXPECT_EQ(contains(synopsis, u"[" + optionLabel(o) + u"]"), takes)
                    << narrow(o.name) << " in the synopsis of " << narrow(c.name);
            }
        }
    }
    EXPECT_EQ(synopsisOf(*findCommand(u"create")),
              u"sfxtool create [-o ARCHIVE] [--plain] [--no-integrity] [--no-metadata] "
              u"[--classic-key] [--stub FILE] [-C DIR] [-q] "
              u"[PASSWORD] "
              u"[SIGNING] PATH...");
    EXPECT_EQ(synopsisOf(*findCommand(u"rate")), u"sfxtool rate");
}

// Help lines stay within a terminal's width, with the help column lined up.
TEST(SfxtoolOptions, HelpFitsATerminal) {
    std::u16string all = overviewHelp();
    for (const CommandInfo& c : commandTable()) all += commandHelp(c);
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find(u'\n', start);
        if (end == std::u16string::npos) end = all.size();
        EXPECT_LE(end - start, 79u) << narrow(all.substr(start, end - start));
        start = end + 1;
    }
}

// roff takes a plain "-" as a hyphen, which man shows as a dash that cannot be searched for or
// copied as an option; every option in the page must be written with minus signs.
TEST(SfxtoolOptions, ManualPageWritesOptionsWithMinusSigns) {
    const std::u16string page = manualPage();
    for (const OptionInfo& o : optionTable()) {
        std::u16string escaped;
        for (const char16_t* c = o.name; *c != 0; ++c) {
            if (*c == u'-') escaped += u'\\';
            escaped += *c;
        }
        EXPECT_TRUE(contains(page, u"\\fB" + escaped + u"\\fR")) << narrow(o.name);
    }
}

}  // namespace
