#include "cli/app.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

#include "cli/args.h"
#include "cli/progress_line.h"
#include "cli/terminal.h"
#include "cli/text.h"
#include "engine/cipher/key_schedule.h"
#include "engine/container/job_context.h"
#include "jobs/file_jobs.h"
#include "jobs/paths.h"
#include "platform/platform.h"
#include "ui/format.h"
#include "ui/file_texts.h"
#include "ui/messages.h"
#include "ui/password_dialogs.h"

namespace corvane::cli {
namespace {

using terminal::Stream;

// Room for the longest password in UTF-8 (3 bytes per unit at most) and a line end.
constexpr std::size_t PASSWORD_BYTES = 1024;
static_assert(PASSWORD_BYTES > 3 * PASSWORD_UNITS + 2);
constexpr int CONFIRM_ATTEMPTS = 3;

void say(Stream stream, const std::string& text) { terminal::write(stream, text); }

std::string quoted(const std::u16string& path) { return "'" + printable_utf8(path) + "'"; }

int usage_error(Command command, const std::string& what) {
    std::string help = "corvane-cli";
    if (command != Command::none) help += std::string(" ") + command_name(command);
    say(Stream::err, "corvane-cli: " + what + ". Try '" + help + " --help'.\n");
    return EXIT_USAGE;
}

// A refusal before any work: nothing is read or written.
int refuse(const std::string& what) {
    say(Stream::err, "corvane-cli: " + what + "\n");
    return EXIT_USAGE;
}

// The failure line of a status: the file it concerns (when there is one),
// the message, and the system's reason where it gave one, e.g.
// "corvane-cli: notes.txt: Open Error: The file cannot be opened. (No such
// file or directory; status 14)".
int status_failure(StatusCode status, const std::u16string& path = {}, platform::ErrorCode reason = 0) {
    const ui::MessageText message = ui::status_message(status);
    std::string line = "corvane-cli: ";
    if (!path.empty()) line += printable_utf8(path) + ": ";
    line += to_display_utf8(message.title) + ": " + to_display_utf8(message.text) + " (";
    char16_t because[256] = {};
    if (reason != 0) platform::error_text(reason, because, std::size(because));
    if (because[0] != 0) line += printable_utf8(because) + "; ";
    line += "status " + std::to_string(to_int(status)) + ")\n";
    say(Stream::err, line);
    return to_int(status);
}

int job_failure(const JobContext& job, const std::u16string& path) {
    return status_failure(job.status, path, job.system_error);
}

// --- Passwords --------------------------------------------------------------

struct Secret {
    char16_t units[PASSWORD_UNITS + 1] = {};
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { wipe(); }
    void wipe() { platform::secure_wipe(units, sizeof units); }
};

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

// 0 with the password in out, else the exit status. confirm: ask twice on
// a terminal (encryption), as the Select Password dialog does.
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

// --- Files ------------------------------------------------------------------

// 0 when path can be read as an input, else the exit status (message
// shown). The same open as the job's: a regular file only, so a pipe, a
// device or a folder fails at once, before a password is asked.
int check_input(const std::u16string& path) {
    const platform::FileHandle file = platform::open_read(path.c_str());
    if (file == platform::INVALID_FILE) return status_failure(StatusCode::open_failed, path, platform::last_error());
    platform::close(file);
    return 0;
}

int already_exists(const std::u16string& output) {
    return refuse(quoted(output) + " already exists; use --force to replace it");
}

// 0 when the job may write output, else the exit status (message shown).
// Judged on the name itself: a link, even a dangling one, is an existing
// output; a device, a pipe or a folder is never replaced.
int check_output(const Options& o, const std::u16string& output) {
    if (output.size() > PATH_LIMIT) return usage_error(o.command, longer_than("the output path", PATH_LIMIT));
    if (platform::same_file(output.c_str(), o.input.c_str()))
        return refuse(quoted(output) + " is the file being " +
                      (o.command == Command::encrypt ? "encrypted" : "decrypted") + "; choose another output with -o");
    if (o.use_keyfile && platform::same_file(output.c_str(), o.keyfile.c_str()))
        return refuse(quoted(output) + " is the key file; choose another output with -o");
    switch (platform::path_kind(output.c_str())) {
    case platform::PathKind::missing: return 0;
    case platform::PathKind::folder:
    case platform::PathKind::other:
        return status_failure(StatusCode::create_failed, output, platform::ERROR_NOT_REGULAR_FILE);
    case platform::PathKind::file:
    case platform::PathKind::link: break;
    }
    return o.force ? 0 : already_exists(output);
}

Overwrite overwrite_of(const Options& o) { return o.force ? Overwrite::replace : Overwrite::refuse; }

// --- Running a job ----------------------------------------------------------

struct JobOutcome {
    StatusCode status = StatusCode::ok;
    bool cancelled = false;
};

// Runs work on a worker thread while this thread watches for an ending
// (Ctrl-C, SIGTERM, ...) and turns it into a cancel through the run state.
template <typename Work>
JobOutcome run_job(JobContext& job, Work work) {
    JobOutcome outcome;
    std::atomic<bool> done{false};
    job.run_state.store(RunState::running);
    std::thread worker;
    try {
        worker = std::thread([&] {
            outcome.status = work();
            done.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        job.run_state.store(RunState::idle);
        outcome.status = StatusCode::no_thread;
        return outcome;
    }
    bool cancelling = false;
    while (!done.load(std::memory_order_acquire)) {
        if (!cancelling && terminal::interrupted()) {
            job.run_state.store(RunState::cancelling);
            cancelling = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    // A job that completed before it saw the cancel has kept its result.
    outcome.cancelled = job.cancelled && outcome.status == StatusCode::ok;
    job.run_state.store(RunState::idle);
    return outcome;
}

struct Feedback {
    bool quiet;
    std::unique_ptr<ProgressLine> line;

    Feedback(bool q, JobKind kind) : quiet(q) {
        if (!quiet && terminal::is_terminal(Stream::err))
            line = std::make_unique<ProgressLine>(to_display_utf8(ui::job_start_text(kind).text),
                                                  terminal::width(Stream::err));
    }
    ProgressSink* sink() { return line.get(); }

    // The exit status of a finished job on path (output: where it wrote).
    int conclude(JobKind kind, const JobOutcome& outcome, const JobContext& job, const std::u16string& path,
                 const std::u16string& output = {}) {
        if (line) line->finish();
        if (outcome.cancelled) {
            say(Stream::err, "corvane-cli: cancelled\n");
            return terminal::interrupted_status();
        }
        if (outcome.status == StatusCode::create_failed && platform::is_exists_error(job.system_error))
            return already_exists(output);
        if (outcome.status != StatusCode::ok)
            return job_failure(job, outcome.status == StatusCode::create_failed && !output.empty() ? output : path);
        if (!quiet) say(Stream::out, to_display_utf8(ui::job_result_text(completion_kind(kind, outcome.status))) + "\n");
        return 0;
    }
};

std::unique_ptr<JobContext> new_job() { return std::make_unique<JobContext>(); }

// Opens the container for a look at its header and closes it again.
StatusCode read_container_header(const std::u16string& path, ContainerHeader& header) {
    auto job = new_job();
    const StatusCode status = open_container(*job, path.c_str());
    header = job->header;
    release_job(*job);
    job->header.bytes.fill(0);
    return status;
}

// --- Commands -----------------------------------------------------------------

int run_encrypt(const Options& o) {
    if (const int rc = check_input(o.input); rc != 0) return rc;
    if (o.use_keyfile)
        if (const int rc = check_input(o.keyfile); rc != 0) return rc;

    std::u16string output = o.output;
    if (output.empty()) {
        char16_t proposed[PATH_FIELD_UNITS] = {};
        ui::default_encrypt_output(o.input.c_str(), proposed);
        output = proposed;
        // Without an extension the proposal is the source itself; the Save
        // dialog would add its default extension, and so do we.
        if (output == o.input) output += u".qvk";
    }
    if (const int rc = check_output(o, output); rc != 0) return rc;

    Secret password;
    if (const int rc = obtain_password(o, true, password); rc != 0) return rc;

    auto job = new_job();
    Feedback feedback(o.quiet, JobKind::encrypting);
    const JobOutcome outcome = run_job(*job, [&] {
        return encrypt_file(*job, o.input.c_str(), output.c_str(), o.use_keyfile ? o.keyfile.c_str() : nullptr,
                            password.units, o.hint.empty() ? nullptr : o.hint.c_str(),
                            requested_block_size(o.block_size, o.jumble_rounds), o.jumble_rounds, feedback.sink(),
                            overwrite_of(o));
    });
    password.wipe();
    job->header.bytes.fill(0);
    return feedback.conclude(JobKind::encrypting, outcome, *job, o.input, output);
}

// A stored name that sanitising empties, a bare dot name, or one that holds an
// unpaired surrogate (no file system of the POSIX layer can spell it) cannot
// be the output's name.
bool usable_name(const std::u16string& name) {
    if (name.empty() || name == u"." || name == u"..") return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF)
            ++i;
        else if (c >= 0xD800 && c <= 0xDFFF)
            return false;
    }
    return true;
}

int run_decrypt(const Options& o) {
    if (const int rc = check_input(o.input); rc != 0) return rc;
    if (o.use_keyfile)
        if (const int rc = check_input(o.keyfile); rc != 0) return rc;

    // Looked at first so a file that is no container fails before the password is asked.
    ContainerHeader header;
    if (const StatusCode s = read_container_header(o.input, header); s != StatusCode::ok)
        return status_failure(s, o.input);

    std::u16string output = o.output;
    if (output.empty()) {
        auto parts = std::make_unique<PathParts>();
        split_path(*parts, o.input.c_str());
        char16_t proposed[PATH_FIELD_UNITS] = {};
        ui::default_decrypt_output(header, proposed);
        std::u16string name = proposed;
        // A stored name that sanitising empties (or a bare dot name) cannot be
        // a file; the container's own stem stands in for it.
        if (!usable_name(name)) name = parts->stem;
        if (!usable_name(name)) return usage_error(o.command, "the container stores no usable file name; give one with -o");
        output = std::u16string(parts->directory) + name;
    }
    if (const int rc = check_output(o, output); rc != 0) return rc;

    Secret password;
    if (o.password == PasswordSource::terminal && terminal::input_is_terminal()) {
        char16_t hint[HINT_UNITS + 1] = {};
        header_hint(header, hint);
        if (hint[0] != 0) say(Stream::err, "Hint: " + printable_utf8(hint) + "\n");
    }
    header.bytes.fill(0);
    if (const int rc = obtain_password(o, false, password); rc != 0) return rc;

    auto job = new_job();
    Feedback feedback(o.quiet, JobKind::decrypting);
    const JobOutcome outcome = run_job(*job, [&] {
        return decrypt_file(*job, o.input.c_str(), output.c_str(), o.use_keyfile ? o.keyfile.c_str() : nullptr,
                            password.units, feedback.sink(), overwrite_of(o));
    });
    password.wipe();
    job->header.bytes.fill(0);
    return feedback.conclude(JobKind::decrypting, outcome, *job, o.input, output);
}

int run_test(const Options& o) {
    if (const int rc = check_input(o.input); rc != 0) return rc;
    auto job = new_job();
    Feedback feedback(o.quiet, JobKind::testing);
    const JobOutcome outcome = run_job(*job, [&] { return test_file(*job, o.input.c_str(), feedback.sink()); });
    job->header.bytes.fill(0);
    return feedback.conclude(JobKind::testing, outcome, *job, o.input);
}

void show_field(const char* label, const std::u16string& value) {
    say(Stream::out, std::string(label) + ": " + printable_utf8(value) + "\n");
}

// What the main window shows for the file: a container only when both its
// name and its content say so, otherwise the plain file.
int run_info(const Options& o) {
    if (const int rc = check_input(o.input); rc != 0) return rc;
    auto parts = std::make_unique<PathParts>();
    split_path(*parts, o.input.c_str());
    const bool container_name = ui::is_container_extension(parts->full + parts->extension);

    auto job = new_job();
    const StatusCode opened = open_container(*job, o.input.c_str());
    release_job(*job);
    char16_t text[ui::DATE_TIME_UNITS] = {};

    if (opened == StatusCode::ok && container_name) {
        const ContainerHeader& h = job->header;
        char16_t name[FILE_NAME_UNITS + 1] = {};
        header_file_name(h, name);
        show_field("File", name);
        show_field("Type", ui::format_scheme(text, h.jumble_rounds(), h.block_size(), ui::SCHEME_WITH_BLOCK));
        if (h.flags() & FLAG_SHORT_FILE)
            show_field("Size", u"Unknown/Encrypted, 0 to 31 bytes");
        else
            show_field("Size", ui::format_size(text, h.file_size()));
        show_field("Date", ui::format_date_time(text, h.write_time()));
        char16_t hint[HINT_UNITS + 1] = {};
        header_hint(h, hint);
        show_field("Hint", hint);
        job->header.bytes.fill(0);
        return 0;
    }
    if (opened != StatusCode::ok && opened != StatusCode::not_container && container_name)
        return job_failure(*job, o.input);

    job->status = StatusCode::ok;
    job->header.bytes.fill(0);
    const StatusCode source = open_source(*job, o.input.c_str());
    // Read before release_job wipes it: a short file's true length.
    const std::uint8_t short_length = job->short_buffer[SHORT_FILE_SIZE - 1];
    release_job(*job);
    if (source != StatusCode::ok) return job_failure(*job, o.input);
    const ContainerHeader& h = job->header;
    show_field("File", parts->full + parts->name);
    show_field("Type", ui::describe_file_type(parts->full, text, nullptr));
    // A file under 32 bytes counts as 32; its true length sits in the last byte.
    if (h.flags() & FLAG_SHORT_FILE)
        (void)ui::format_uint(text, u"%u bytes", short_length);
    else
        ui::format_size(text, h.file_size());
    show_field("Size", text);
    show_field("Date", ui::format_date_time(text, h.write_time()));
    job->header.bytes.fill(0);
    return 0;
}

}  // namespace

int run(const std::vector<std::u16string>& args) {
    const ParseResult parsed = parse_arguments(args);
    if (!parsed.ok) return usage_error(parsed.options.command, parsed.error);
    const Options& o = parsed.options;
    if (o.help) {
        say(Stream::out, help_text(o.command));
        return 0;
    }
    switch (o.command) {
    case Command::encrypt: return run_encrypt(o);
    case Command::decrypt: return run_decrypt(o);
    case Command::test: return run_test(o);
    case Command::info: return run_info(o);
    case Command::none: break;
    }
    return usage_error(Command::none, "no command given");
}

}  // namespace corvane::cli
