// The command line as the parser reads it: accepted forms, defaults and
// every refusal a user can run into.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/text.h"

namespace corvane::cli {
namespace {

std::vector<std::u16string> words(std::initializer_list<const char*> list) {
    std::vector<std::u16string> out;
    for (const char* w : list) {
        std::u16string u;
        EXPECT_TRUE(utf8_to_utf16(w, u)) << w;
        out.push_back(u);
    }
    return out;
}

TEST(CliArgs, EncryptDefaults) {
    const ParseResult r = parse_arguments(words({"encrypt", "report.txt"}));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.command, Command::encrypt);
    EXPECT_EQ(r.options.inputs, std::vector<std::u16string>{u"report.txt"});
    EXPECT_EQ(r.options.jobs, 1u);
    EXPECT_TRUE(r.options.output_dir.empty());
    EXPECT_TRUE(r.options.output.empty());
    EXPECT_FALSE(r.options.use_keyfile);
    EXPECT_EQ(r.options.jumble_rounds, 7u);
    EXPECT_EQ(r.options.block_size, 524288u);
    EXPECT_EQ(r.options.password, PasswordSource::terminal);
    EXPECT_FALSE(r.options.force);
    EXPECT_FALSE(r.options.quiet);
}

TEST(CliArgs, EncryptEveryOptionInShortAndLongForms) {
    struct Case {
        std::vector<std::u16string> args;
    };
    const Case cases[] = {
        {words({"encrypt", "-o", "out.qvk", "-k", "key", "-r", "25", "-b", "65536", "--hint", "blue", "-f", "-q",
                "--password-file", "pw", "in.txt"})},
        {words({"encrypt", "in.txt", "--output", "out.qvk", "--keyfile=key", "--rounds=25", "--block-size", "65536",
                "--hint=blue", "--force", "--quiet", "--password-file=pw"})},
        {words({"encrypt", "-oout.qvk", "-kkey", "-r25", "-b65536", "--hint", "blue", "-fq", "--password-file", "pw",
                "--", "in.txt"})},
    };
    for (const auto& c : cases) {
        const ParseResult r = parse_arguments(c.args);
        ASSERT_TRUE(r.ok) << r.error;
        const Options& o = r.options;
        EXPECT_EQ(o.inputs, std::vector<std::u16string>{u"in.txt"});
        EXPECT_EQ(o.output, u"out.qvk");
        EXPECT_TRUE(o.use_keyfile);
        EXPECT_EQ(o.keyfile, u"key");
        EXPECT_EQ(o.jumble_rounds, 25u);
        EXPECT_EQ(o.block_size, 65536u);
        EXPECT_EQ(o.hint, u"blue");
        EXPECT_TRUE(o.force);
        EXPECT_TRUE(o.quiet);
        EXPECT_EQ(o.password, PasswordSource::file);
        EXPECT_EQ(o.password_file, u"pw");
    }
}

TEST(CliArgs, RangeEdgesAreAccepted) {
    struct Case {
        const char* option;
        const char* value;
        std::uint32_t rounds;
        std::uint32_t block;
    };
    const Case cases[] = {
        {"-r", "0", 0, 524288},        {"-r", "1048576", 1048576, 524288}, {"-b", "1", 7, 1},
        {"-b", "50331648", 7, 50331648}, {"-b", "32768", 7, 32768},         {"-r", "45000", 45000, 524288},
    };
    for (const auto& c : cases) {
        const ParseResult r = parse_arguments(words({"encrypt", c.option, c.value, "f"}));
        ASSERT_TRUE(r.ok) << c.option << " " << c.value << ": " << r.error;
        EXPECT_EQ(r.options.jumble_rounds, c.rounds);
        EXPECT_EQ(r.options.block_size, c.block);
    }
}

TEST(CliArgs, DashAloneAndDashedNamesAfterDoubleDashAreFiles) {
    const ParseResult a = parse_arguments(words({"test", "-"}));
    ASSERT_TRUE(a.ok) << a.error;
    EXPECT_EQ(a.options.inputs, std::vector<std::u16string>{u"-"});
    const ParseResult b = parse_arguments(words({"info", "--", "-q"}));
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_EQ(b.options.inputs, std::vector<std::u16string>{u"-q"});
}

TEST(CliArgs, HelpForTheProgramAndForEachCommand) {
    const struct {
        std::vector<std::u16string> args;
        Command command;
    } cases[] = {
        {words({"--help"}), Command::none},        {words({"-h"}), Command::none},
        {words({"encrypt", "--help"}), Command::encrypt}, {words({"decrypt", "-h"}), Command::decrypt},
        {words({"--help", "test"}), Command::test}, {words({"info", "--help"}), Command::info},
    };
    for (const auto& c : cases) {
        const ParseResult r = parse_arguments(c.args);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_TRUE(r.options.help);
        EXPECT_EQ(r.options.command, c.command);
    }
    EXPECT_NE(std::string(help_text(Command::encrypt)), help_text(Command::none));
}

TEST(CliArgs, RefusalsNameTheProblem) {
    const std::string long_hint(128, 'h');
    const std::string long_path(260, 'p');
    const struct {
        std::vector<std::u16string> args;
        const char* says;
    } cases[] = {
        {words({}), "no command"},
        {words({"frobnicate", "x"}), "unknown command 'frobnicate'"},
        {words({"encrypt"}), "no file"},
        {words({"encrypt", "-o", "x.qvk", "a", "b"}), "-o names the output of one file"},
        {words({"decrypt", "a", "b", "--output", "x"}), "-o names the output of one file"},
        {words({"encrypt", "-o", "x.qvk", "-O", "dir", "a"}), "-o and -O exclude each other"},
        {words({"encrypt", "-O", "", "a"}), "output folder is empty"},
        {words({"encrypt", "-j", "1025", "a"}), "jobs must be a whole number from 0"},
        {words({"test", "--jobs=two", "a"}), "jobs must be a whole number from 0"},
        {words({"encrypt", "--json", "a"}), "does not apply to encrypt"},
        {words({"test", "-O", "dir", "a"}), "does not apply to test"},
        {words({"encrypt", "a", long_path.c_str()}), "longer than 259"},
        {words({"encrypt", "-x", "a"}), "unknown option '-x'"},
        {words({"encrypt", "--colour", "a"}), "unknown option '--colour'"},
        {words({"encrypt", "a", "-o"}), "'-o' needs a value"},
        {words({"encrypt", "a", "--hint"}), "'--hint' needs a value"},
        {words({"encrypt", "-r", "1048577", "a"}), "rounds"},
        {words({"encrypt", "-r", "-1", "a"}), "rounds"},
        {words({"encrypt", "-r", "7x", "a"}), "rounds"},
        {words({"encrypt", "-r", "", "a"}), "rounds"},
        {words({"encrypt", "-b", "0", "a"}), "block size"},
        {words({"encrypt", "-b", "50331649", "a"}), "block size"},
        {words({"encrypt", "-b", "99999999999", "a"}), "block size"},
        {words({"encrypt", "--force=yes", "a"}), "takes no value"},
        {words({"encrypt", "--password-stdin", "--password-file", "p", "a"}), "exclude each other"},
        {words({"decrypt", "--password-file", "p", "--password-stdin", "a"}), "exclude each other"},
        {words({"decrypt", "-r", "3", "a"}), "does not apply to decrypt"},
        {words({"decrypt", "--hint", "x", "a"}), "does not apply to decrypt"},
        {words({"test", "-o", "x", "a"}), "does not apply to test"},
        {words({"test", "--password-stdin", "a"}), "does not apply to test"},
        {words({"info", "-k", "key", "a"}), "does not apply to info"},
        {words({"-q", "test", "a"}), "must follow a command"},
        {words({"encrypt", "-o", "", "a"}), "output path is empty"},
        {words({"encrypt", "--hint", long_hint.c_str(), "a"}), "longer than 127"},
        {words({"encrypt", long_path.c_str()}), "longer than 259"},
        {words({"encrypt", "-o", long_path.c_str(), "a"}), "longer than 259"},
    };
    for (const auto& c : cases) {
        const ParseResult r = parse_arguments(c.args);
        EXPECT_FALSE(r.ok) << c.says;
        EXPECT_NE(r.error.find(c.says), std::string::npos) << "wanted '" << c.says << "', got '" << r.error << "'";
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    }
}

TEST(CliArgs, SeveralFilesAndTheBatchOptions) {
    const struct {
        std::vector<std::u16string> args;
        std::vector<std::u16string> inputs;
        std::u16string output_dir;
        unsigned jobs;
        bool json;
    } cases[] = {
        {words({"encrypt", "a", "b", "c"}), {u"a", u"b", u"c"}, u"", 1, false},
        {words({"encrypt", "a", "-O", "out", "b", "-j", "0"}), {u"a", u"b"}, u"out", 0, false},
        {words({"decrypt", "--output-dir=dir", "--jobs", "8", "x.qvk", "y.qvk"}), {u"x.qvk", u"y.qvk"}, u"dir", 8, false},
        {words({"test", "-j4", "--json", "x", "--", "-y"}), {u"x", u"-y"}, u"", 4, true},
        {words({"info", "--json", "a", "b"}), {u"a", u"b"}, u"", 1, true},
        {words({"decrypt", "-o", "out", "only.qvk"}), {u"only.qvk"}, u"", 1, false},
    };
    for (const auto& c : cases) {
        const ParseResult r = parse_arguments(c.args);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.options.inputs, c.inputs);
        EXPECT_EQ(r.options.output_dir, c.output_dir);
        EXPECT_EQ(r.options.jobs, c.jobs);
        EXPECT_EQ(r.options.json, c.json);
    }
}

TEST(CliArgs, VersionStandsAlone) {
    for (const auto& args : {words({"--version"}), words({"encrypt", "--version"})}) {
        const ParseResult r = parse_arguments(args);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_TRUE(r.options.version);
    }
}

TEST(CliArgs, HelpListsTheExitStatuses) {
    const std::string help = help_text(Command::none);
    for (const char* status : {"  0 ", "  2 ", "  14 ", "  16 ", "  21 ", "  35 ", "  128 + N"})
        EXPECT_NE(help.find(status), std::string::npos) << status;
}

TEST(CliArgs, LimitsThemselvesAreAccepted) {
    const std::string hint(127, 'h');
    const std::string path(259, 'p');
    const ParseResult r = parse_arguments(words({"encrypt", "--hint", hint.c_str(), "-o", path.c_str(), path.c_str()}));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.hint.size(), 127u);
}

}  // namespace
}  // namespace corvane::cli
