// The entry point: the arguments reach the program as UTF-16 on every system.
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/terminal.h"
#include "cli/text.h"

#ifdef _WIN32

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

int wmain(int argc, wchar_t** argv) {
    corvane::cli::terminal::initialise();
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    const int status = corvane::cli::run(args);
    corvane::cli::terminal::cleaned_up();
    return status;
}

#else

int main(int argc, char** argv) {
    corvane::cli::terminal::initialise();
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) {
        std::u16string arg;
        if (!corvane::cli::utf8_to_utf16(argv[i], arg)) {
            corvane::cli::terminal::write(corvane::cli::terminal::Stream::err,
                                          "corvane-cli: argument " + std::to_string(i) +
                                              " is not valid UTF-8. Try 'corvane-cli --help'.\n");
            return corvane::cli::EXIT_USAGE;
        }
        args.push_back(std::move(arg));
    }
    return corvane::cli::run(args);
}

#endif
