#include "cli/password.h"

#include <string_view>

#include "cli/report.h"
#include "cli/terminal.h"
#include "cli/text.h"
#include "ui/messages.h"
#include "ui/password_dialogs.h"

namespace corvane::cli {
namespace {

using terminal::Stream;

// Room for the longest password in UTF-8 (3 bytes per unit at most) and a line end.
constexpr std::size_t PASSWORD_BYTES = 1024;
static_assert(PASSWORD_BYTES > 3 * PASSWORD_UNITS + 2);
constexpr int CONFIRM_ATTEMPTS = 3;

struct SecretBytes {
    char bytes[PASSWORD_BYTES] = {};
    std::size_t length = 0;
    SecretBytes() = default;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    ~SecretBytes() { platform::secure_wipe(bytes, sizeof bytes); }
};

// 0 when the bytes made a password, else the exit status (message shown).
int decode_password(Command command, const SecretBytes& raw, Secret& out) {
    std::size_t length = 0;
    switch (utf8_to_utf16(std::string_view(raw.bytes, raw.length), out.units, PASSWORD_UNITS + 1, &length)) {
    case Utf8Result::ok:
        return 0;
    case Utf8Result::too_long:
        out.wipe();
        return usage_error(command, longer_than("the password", PASSWORD_UNITS));
    case Utf8Result::invalid:
        break;
    }
    out.wipe();
    return usage_error(command, "the password is not valid UTF-8 text");
}

int read_password_file(Command command, const std::u16string& path, Secret& out) {
    SecretBytes raw;
    std::uint32_t reason = 0;
    switch (terminal::read_password_file(path, raw.bytes, sizeof raw.bytes, &raw.length, &reason)) {
    case terminal::ReadResult::ok: break;
    case terminal::ReadResult::too_long: return usage_error(command, longer_than("the password", PASSWORD_UNITS));
    case terminal::ReadResult::interrupted: return terminal::interrupted_status();
    case terminal::ReadResult::failed: return status_failure(StatusCode::open_failed, path, reason);
    }
    // An editor's final line end is not part of the password.
    if (raw.length > 0 && raw.bytes[raw.length - 1] == '\n') --raw.length;
    if (raw.length > 0 && raw.bytes[raw.length - 1] == '\r') --raw.length;
    return decode_password(command, raw, out);
}

// A line read from standard input or the terminal, turned into the password
// or into the exit for what went wrong.
int password_from(Command command, terminal::ReadResult result, const SecretBytes& raw, Secret& out,
                  const char* unreadable) {
    switch (result) {
    case terminal::ReadResult::ok:
        return decode_password(command, raw, out);
    case terminal::ReadResult::too_long:
        return usage_error(command, longer_than("the password", PASSWORD_UNITS));
    case terminal::ReadResult::interrupted:
        return terminal::interrupted_status();
    case terminal::ReadResult::failed:
        break;
    }
    return usage_error(command, unreadable);
}

int read_password_line(Command command, Secret& out) {
    SecretBytes raw;
    const auto result = terminal::read_input_line(raw.bytes, sizeof raw.bytes, &raw.length);
    return password_from(command, result, raw, out, "standard input cannot be read");
}

int prompt_password(Command command, const char* label, Secret& out) {
    say(Stream::err, label);
    SecretBytes raw;
    const auto result = terminal::read_secret_line(raw.bytes, sizeof raw.bytes, &raw.length);
    return password_from(command, result, raw, out, "the password cannot be read from the terminal");
}

}  // namespace

int obtain_password(const Options& o, bool confirm, Secret& out) {
    switch (o.password) {
    case PasswordSource::file:
        return read_password_file(o.command, o.password_file, out);
    case PasswordSource::stdin_line:
        return read_password_line(o.command, out);
    case PasswordSource::terminal:
        break;
    }
    if (!terminal::input_is_terminal())
        return usage_error(o.command, "no terminal to ask the password on; use --password-stdin or --password-file");
    if (!confirm) return prompt_password(o.command, "Password: ", out);
    for (int attempt = 0; attempt < CONFIRM_ATTEMPTS; ++attempt) {
        if (const int rc = prompt_password(o.command, "Password: ", out); rc != 0) return rc;
        Secret again;
        if (const int rc = prompt_password(o.command, "Confirm: ", again); rc != 0) {
            out.wipe();
            return rc;
        }
        if (ui::passwords_match(out.units, again.units)) return 0;
        out.wipe();
        const ui::MessageText mismatch = ui::status_message(StatusCode::confirm_mismatch);
        if (attempt + 1 < CONFIRM_ATTEMPTS) say(Stream::err, to_display_utf8(mismatch.text) + "\n");
    }
    return status_failure(StatusCode::confirm_mismatch);
}

}  // namespace corvane::cli
