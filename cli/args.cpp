#include "cli/args.h"

#include <optional>
#include <string_view>

#include "cli/text.h"
#include "engine/container/container_header.h"
#include "jobs/paths.h"

namespace corvane::cli {
namespace {

enum class Opt {
    output,
    output_dir,
    keyfile,
    rounds,
    block,
    hint,
    password_stdin,
    password_file,
    force,
    quiet,
    jobs,
    json,
    help,
    version
};

struct OptionRule {
    Opt id;
    char16_t short_name;  // 0: none
    std::u16string_view long_name;
    bool takes_value;
    unsigned commands;  // bit per Command value
};

constexpr unsigned bit(Command c) { return 1u << static_cast<unsigned>(c); }
constexpr unsigned ENC = bit(Command::encrypt);
constexpr unsigned DEC = bit(Command::decrypt);
constexpr unsigned TST = bit(Command::test);
constexpr unsigned INF = bit(Command::info);
constexpr unsigned ALL = bit(Command::none) | ENC | DEC | TST | INF;

constexpr OptionRule OPTIONS[] = {
    {Opt::output, u'o', u"output", true, ENC | DEC},
    {Opt::output_dir, u'O', u"output-dir", true, ENC | DEC},
    {Opt::keyfile, u'k', u"keyfile", true, ENC | DEC},
    {Opt::rounds, u'r', u"rounds", true, ENC},
    {Opt::block, u'b', u"block-size", true, ENC},
    {Opt::hint, 0, u"hint", true, ENC},
    {Opt::password_stdin, 0, u"password-stdin", false, ENC | DEC},
    {Opt::password_file, 0, u"password-file", true, ENC | DEC},
    {Opt::force, u'f', u"force", false, ENC | DEC},
    {Opt::quiet, u'q', u"quiet", false, ENC | DEC | TST},
    {Opt::jobs, u'j', u"jobs", true, ENC | DEC | TST | INF},
    {Opt::json, 0, u"json", false, TST | INF},
    {Opt::help, u'h', u"help", false, ALL},
    {Opt::version, 0, u"version", false, ALL},
};

std::string number(std::size_t value) { return std::to_string(value); }

std::optional<Command> command_of(std::u16string_view word) {
    if (word == u"encrypt") return Command::encrypt;
    if (word == u"decrypt") return Command::decrypt;
    if (word == u"test") return Command::test;
    if (word == u"info") return Command::info;
    return std::nullopt;
}

// Decimal digits only, within [low, high].
std::optional<std::uint32_t> parse_number(std::u16string_view text, std::uint32_t low, std::uint32_t high) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    if (value < low || value > high) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

class Parser {
public:
    explicit Parser(const std::vector<std::u16string>& args) : args_(args) {}

    ParseResult run() {
        std::size_t i = 0;
        bool options_done = false;
        std::vector<std::u16string> operands;
        for (; i < args_.size() && ok(); ++i) {
            const std::u16string& arg = args_[i];
            if (options_done || arg.size() < 2 || arg[0] != u'-') {
                if (result_.options.command == Command::none) {
                    auto command = command_of(arg);
                    if (!command) {
                        error("unknown command '" + printable_utf8(arg) + "'");
                        break;
                    }
                    result_.options.command = *command;
                } else {
                    operands.push_back(arg);
                }
            } else if (arg == u"--") {
                options_done = true;
            } else if (arg[1] == u'-') {
                long_option(arg, i);
            } else {
                short_options(arg, i);
            }
        }
        if (!ok()) return result_;
        Options& o = result_.options;
        if (o.help || o.version) {
            result_.ok = true;
            return result_;
        }
        if (o.command == Command::none) return error("no command given");
        if (operands.empty()) return error("no file given");
        if (!o.output.empty() && operands.size() > 1)
            return error("-o names the output of one file; for several use -O DIR");
        if (!o.output.empty() && !o.output_dir.empty()) return error("-o and -O exclude each other");
        o.inputs = std::move(operands);
        for (const std::u16string& input : o.inputs)
            if (!check_path(input, "file")) return result_;
        if (!check_path(o.output, "output path") || !check_path(o.output_dir, "output folder") ||
            !check_path(o.keyfile, "key file path") || !check_path(o.password_file, "password file path"))
            return result_;
        if (o.hint.size() > HINT_UNITS) return error(longer_than("the hint", HINT_UNITS));
        result_.ok = true;
        return result_;
    }

private:
    bool ok() const { return result_.error.empty(); }

    ParseResult& error(std::string text) {
        if (result_.error.empty()) result_.error = std::move(text);
        return result_;
    }

    bool check_path(const std::u16string& path, const char* what) {
        if (path.size() > PATH_LIMIT) {
            error(longer_than(std::string("the ") + what, PATH_LIMIT));
            return false;
        }
        return true;
    }

    const OptionRule* find_long(std::u16string_view name) {
        for (const auto& rule : OPTIONS)
            if (rule.long_name == name) return &rule;
        return nullptr;
    }

    const OptionRule* find_short(char16_t name) {
        for (const auto& rule : OPTIONS)
            if (rule.short_name != 0 && rule.short_name == name) return &rule;
        return nullptr;
    }

    void long_option(const std::u16string& arg, std::size_t& i) {
        std::u16string_view body = std::u16string_view(arg).substr(2);
        std::optional<std::u16string> inline_value;
        if (auto eq = body.find(u'='); eq != std::u16string_view::npos) {
            inline_value = std::u16string(body.substr(eq + 1));
            body = body.substr(0, eq);
        }
        const OptionRule* rule = find_long(body);
        if (!rule) {
            error("unknown option '" + printable_utf8(arg) + "'");
            return;
        }
        if (!rule->takes_value && inline_value) {
            error("option '--" + printable_utf8(body) + "' takes no value");
            return;
        }
        const std::string label = "--" + printable_utf8(body);
        if (rule->takes_value && !inline_value) {
            if (i + 1 >= args_.size()) {
                error("option '" + label + "' needs a value");
                return;
            }
            inline_value = args_[++i];
        }
        apply(*rule, label, inline_value ? *inline_value : std::u16string());
    }

    void short_options(const std::u16string& arg, std::size_t& i) {
        // Flags may be grouped (-fq); a value-taking option ends the group and
        // takes the rest of the word or the next argument.
        for (std::size_t k = 1; k < arg.size() && ok(); ++k) {
            const OptionRule* rule = find_short(arg[k]);
            const std::string label = "-" + printable_utf8(std::u16string(1, arg[k]));
            if (!rule) {
                error("unknown option '" + label + "'");
                return;
            }
            if (!rule->takes_value) {
                apply(*rule, label, {});
                continue;
            }
            std::u16string value;
            if (k + 1 < arg.size()) {
                value = arg.substr(k + 1);
            } else if (i + 1 < args_.size()) {
                value = args_[++i];
            } else {
                error("option '" + label + "' needs a value");
                return;
            }
            apply(*rule, label, value);
            return;
        }
    }

    void apply(const OptionRule& rule, const std::string& label, const std::u16string& value) {
        Options& o = result_.options;
        if (rule.id != Opt::help && !(rule.commands & bit(o.command))) {
            if (o.command == Command::none)
                error("option '" + label + "' must follow a command");
            else
                error("option '" + label + "' does not apply to " + command_name(o.command));
            return;
        }
        switch (rule.id) {
        case Opt::output:
            if (value.empty()) error("the output path is empty");
            o.output = value;
            break;
        case Opt::keyfile:
            if (value.empty()) error("the key file path is empty");
            o.keyfile = value;
            o.use_keyfile = true;
            break;
        case Opt::rounds:
            if (auto n = parse_number(value, 0, MAX_ROUNDS))
                o.jumble_rounds = *n;
            else
                error("rounds must be a whole number from 0 to " + number(MAX_ROUNDS) + ", not '" +
                      printable_utf8(value) + "'");
            break;
        case Opt::block:
            if (auto n = parse_number(value, 1, MAX_BLOCK_SIZE))
                o.block_size = *n;
            else
                error("the block size must be a whole number of bytes from 1 to " + number(MAX_BLOCK_SIZE) +
                      ", not '" + printable_utf8(value) + "'");
            break;
        case Opt::hint:
            o.hint = value;
            break;
        case Opt::password_stdin:
            if (o.password == PasswordSource::file) error("--password-stdin and --password-file exclude each other");
            o.password = PasswordSource::stdin_line;
            break;
        case Opt::password_file:
            if (o.password == PasswordSource::stdin_line) error("--password-stdin and --password-file exclude each other");
            if (value.empty()) error("the password file path is empty");
            o.password = PasswordSource::file;
            o.password_file = value;
            break;
        case Opt::output_dir:
            if (value.empty()) error("the output folder is empty");
            o.output_dir = value;
            break;
        case Opt::jobs:
            if (auto n = parse_number(value, 0, MAX_JOBS))
                o.jobs = *n;
            else
                error("jobs must be a whole number from 0 (one per core) to " + number(MAX_JOBS) + ", not '" +
                      printable_utf8(value) + "'");
            break;
        case Opt::json:
            o.json = true;
            break;
        case Opt::version:
            o.version = true;
            break;
        case Opt::force:
            o.force = true;
            break;
        case Opt::quiet:
            o.quiet = true;
            break;
        case Opt::help:
            o.help = true;
            break;
        }
    }

    const std::vector<std::u16string>& args_;
    ParseResult result_;
};

}  // namespace

std::string longer_than(const std::string& what, std::size_t limit) {
    return what + " is longer than " + number(limit) + " characters";
}

ParseResult parse_arguments(const std::vector<std::u16string>& args) { return Parser(args).run(); }

const char* command_name(Command command) {
    switch (command) {
    case Command::encrypt: return "encrypt";
    case Command::decrypt: return "decrypt";
    case Command::test: return "test";
    case Command::info: return "info";
    case Command::none: break;
    }
    return "";
}

namespace {

// Options more than one command shares.
const char* const BATCH_HELP =
    "  -j, --jobs N           run up to N files at once (0: one per core; default 1)\n";
const char* const PASSWORD_HELP =
    "      --password-stdin   read the password from the first line of standard input\n"
    "      --password-file F  read the password from file F (a final line end is dropped;\n"
    "                         F may be a pipe or FIFO)\n";
const char* const OUTPUT_HELP =
    "  -O, --output-dir DIR   put every output into DIR, under the name it would get\n"
    "                         beside its input\n"
    "  -f, --force            replace an existing output (a regular file or a link)\n"
    "  -q, --quiet            no progress line and no completion text\n";

std::string exit_status_help() {
    return "Exit status:\n"
           "  0        every file succeeded\n"
           "  2        a usage error, or an output that exists without --force or names an\n"
           "           input (nothing of that file was read or written)\n"
           "  7        memory allocation failed\n"
           "  11       the job's thread cannot be started\n"
           "  14       a file cannot be opened, or is not a regular file\n"
           "  15       a read failed\n"
           "  16       the output cannot be saved (also: a device, pipe or folder stands there)\n"
           "  17       a write failed\n"
           "  18       not enough free disk space\n"
           "  19       not a container\n"
           "  20       the container needs a newer version\n"
           "  21       a checksum failed: the container is damaged\n"
           "  23       the container ends early\n"
           "  35       wrong password and/or key file\n"
           "  36       the password and its confirmation differ\n"
           "  128 + N  ended by signal N (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP)\n"
           "With several files, the status of the first file, in argument order, that failed.\n";
}

}  // namespace

std::string help_text(Command command) {
    switch (command) {
    case Command::encrypt:
        return std::string("Usage: corvane-cli encrypt FILE... [options]\n"
                           "Encrypts each FILE into a password-protected container; one password for all.\n"
                           "\n"
                           "  -o, --output OUT       container to write, for one FILE (default: FILE with the\n"
                           "                         extension .qvk, in FILE's folder)\n") +
               OUTPUT_HELP +
               "  -k, --keyfile KEYFILE  key the containers also with this file\n"
               "  -r, --rounds ROUNDS    Jumble rounds, 0 to " + number(MAX_ROUNDS) +
               "; 0 makes a Stream container (default " + number(DEFAULT_JUMBLE_ROUNDS) + ")\n"
               "  -b, --block-size BYTES requested block size, 1 to " + number(MAX_BLOCK_SIZE) + " (default " +
               number(DEFAULT_BLOCK_SIZE) + ")\n"
               "      --hint TEXT        password hint stored in clear, at most " + number(HINT_UNITS) +
               " characters\n" + PASSWORD_HELP + BATCH_HELP +
               "\n"
               "Without --password-stdin or --password-file the password is asked twice on the terminal.\n";
    case Command::decrypt:
        return std::string("Usage: corvane-cli decrypt CONTAINER... [options]\n"
                           "Decrypts each CONTAINER, restoring the file's last-write time and attributes;\n"
                           "one password for all.\n"
                           "\n"
                           "  -o, --output OUT       file to write, for one CONTAINER (default: the stored\n"
                           "                         name, in the container's folder)\n") +
               OUTPUT_HELP + "  -k, --keyfile KEYFILE  the key file the containers were made with\n" + PASSWORD_HELP +
               BATCH_HELP;
    case Command::test:
        return std::string("Usage: corvane-cli test CONTAINER... [options]\n"
                           "Checks the structure and checksums of each CONTAINER; no password is needed.\n"
                           "\n"
                           "      --json             print the result of each CONTAINER as JSON on standard output\n"
                           "  -q, --quiet            no progress line and no completion text\n") +
               BATCH_HELP;
    case Command::info:
        return std::string("Usage: corvane-cli info FILE... [options]\n"
                           "Shows the name, type, size and date of each FILE; for a container, those of the\n"
                           "file stored inside, the scheme and the password hint.\n"
                           "\n"
                           "      --json             print the facts of each FILE as JSON on standard output\n") +
               BATCH_HELP;
    case Command::none:
        break;
    }
    return "Usage: corvane-cli COMMAND [options] FILE...\n"
           "Protects files with a password and an optional key file, each in a container of its own.\n"
           "\n"
           "Commands:\n"
           "  encrypt FILE...       encrypt each FILE into a container (.qvk)\n"
           "  decrypt CONTAINER...  restore the file stored in each CONTAINER\n"
           "  test CONTAINER...     check each CONTAINER without the password\n"
           "  info FILE...          show what each FILE is, and for a container what it holds\n"
           "\n"
           "  -h, --help             this text; 'corvane-cli COMMAND --help' describes a command\n"
           "      --version          the program's version and the system it was built for\n"
           "\n" +
           exit_status_help();
}

}  // namespace corvane::cli
