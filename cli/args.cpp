#include "cli/args.h"

#include <optional>
#include <string_view>

#include "cli/text.h"
#include "engine/container/container_header.h"
#include "jobs/paths.h"

namespace corvane::cli {
namespace {

enum class Opt { output, keyfile, rounds, block, hint, password_stdin, password_file, force, quiet, help };

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
    {Opt::keyfile, u'k', u"keyfile", true, ENC | DEC},
    {Opt::rounds, u'r', u"rounds", true, ENC},
    {Opt::block, u'b', u"block-size", true, ENC},
    {Opt::hint, 0, u"hint", true, ENC},
    {Opt::password_stdin, 0, u"password-stdin", false, ENC | DEC},
    {Opt::password_file, 0, u"password-file", true, ENC | DEC},
    {Opt::force, u'f', u"force", false, ENC | DEC},
    {Opt::quiet, u'q', u"quiet", false, ENC | DEC | TST},
    {Opt::help, u'h', u"help", false, ALL},
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
                        error("unknown command '" + to_display_utf8(arg) + "'");
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
        if (o.help) {
            result_.ok = true;
            return result_;
        }
        if (o.command == Command::none) return error("no command given");
        if (operands.empty()) return error("no file given");
        if (operands.size() > 1) return error("unexpected argument '" + to_display_utf8(operands[1]) + "'");
        o.input = operands[0];
        if (!check_path(o.input, "file") || !check_path(o.output, "output path") ||
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
            error("unknown option '" + to_display_utf8(arg) + "'");
            return;
        }
        if (!rule->takes_value && inline_value) {
            error("option '--" + to_display_utf8(body) + "' takes no value");
            return;
        }
        const std::string label = "--" + to_display_utf8(body);
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
            const std::string label = "-" + to_display_utf8(std::u16string(1, arg[k]));
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
                      to_display_utf8(value) + "'");
            break;
        case Opt::block:
            if (auto n = parse_number(value, 1, MAX_BLOCK_SIZE))
                o.block_size = *n;
            else
                error("the block size must be a whole number of bytes from 1 to " + number(MAX_BLOCK_SIZE) +
                      ", not '" + to_display_utf8(value) + "'");
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

std::string help_text(Command command) {
    switch (command) {
    case Command::encrypt:
        return "Usage: corvane-cli encrypt FILE [options]\n"
               "Encrypts FILE into a password-protected container.\n"
               "\n"
               "  -o, --output OUT       container to write (default: FILE with the extension .qvk)\n"
               "  -k, --keyfile KEYFILE  key the container also with this file\n"
               "  -r, --rounds ROUNDS    Jumble rounds, 0 to " + number(MAX_ROUNDS) +
               "; 0 makes a Stream container (default " + number(DEFAULT_JUMBLE_ROUNDS) + ")\n"
               "  -b, --block-size BYTES requested block size, 1 to " + number(MAX_BLOCK_SIZE) + " (default " +
               number(DEFAULT_BLOCK_SIZE) + ")\n"
               "      --hint TEXT        password hint stored in clear, at most " + number(HINT_UNITS) +
               " characters\n"
               "      --password-stdin   read the password from the first line of standard input\n"
               "      --password-file F  read the password from file F (a final line end is dropped)\n"
               "  -f, --force            replace an existing OUT\n"
               "  -q, --quiet            no progress line and no completion text\n"
               "\n"
               "Without --password-stdin or --password-file the password is asked twice on the terminal.\n";
    case Command::decrypt:
        return "Usage: corvane-cli decrypt CONTAINER [options]\n"
               "Decrypts CONTAINER, restoring the file's last-write time and attributes.\n"
               "\n"
               "  -o, --output OUT       file to write (default: the stored name, in the container's folder)\n"
               "  -k, --keyfile KEYFILE  the key file the container was made with\n"
               "      --password-stdin   read the password from the first line of standard input\n"
               "      --password-file F  read the password from file F (a final line end is dropped)\n"
               "  -f, --force            replace an existing OUT\n"
               "  -q, --quiet            no progress line and no completion text\n";
    case Command::test:
        return "Usage: corvane-cli test CONTAINER [-q]\n"
               "Checks the structure and checksums of CONTAINER; no password is needed.\n"
               "\n"
               "  -q, --quiet            no progress line and no completion text\n";
    case Command::info:
        return "Usage: corvane-cli info FILE\n"
               "Shows the name, type, size and date of FILE; for a container, those of the\n"
               "file stored inside, the scheme and the password hint.\n";
    case Command::none:
        break;
    }
    return "Usage: corvane-cli COMMAND [options] FILE\n"
           "Protects one file at a time with a password and an optional key file.\n"
           "\n"
           "Commands:\n"
           "  encrypt FILE       encrypt FILE into a container (.qvk)\n"
           "  decrypt CONTAINER  restore the file stored in CONTAINER\n"
           "  test CONTAINER     check CONTAINER without the password\n"
           "  info FILE          show what FILE is, and for a container what it holds\n"
           "\n"
           "'corvane-cli COMMAND --help' describes a command's options.\n"
           "\n"
           "Exit status: 0 on success; 2 for a usage error or an output that exists\n"
           "without --force; 130 when interrupted; otherwise the status number shown\n"
           "with the error (for example 35 for a wrong password or key file).\n";
}

}  // namespace corvane::cli
