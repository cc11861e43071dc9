#include "cli/app.h"

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "cli/args.h"
#include "cli/batch.h"
#include "cli/facts.h"
#include "cli/password.h"
#include "cli/report.h"
#include "cli/terminal.h"
#include "cli/text.h"
#include "engine/container/job_context.h"
#include "jobs/file_jobs.h"
#include "jobs/paths.h"
#include "platform/platform.h"
#include "resources/version.h"
#include "ui/file_texts.h"
#include "ui/file_view.h"
#include "ui/messages.h"

namespace corvane::cli {
namespace {

using terminal::Stream;

// --- Checks made before the password -----------------------------------------

// True when path can be read as an input, else its failure in task. The same
// open as the job's: a regular file only, so a pipe, a device or a folder
// fails at once, before a password is asked. The file's size is kept as the
// task's total, for the progress line.
bool input_ok(const std::u16string& path, FileTask& task) {
    const platform::FileHandle file = platform::open_read(path.c_str());
    if (file == platform::INVALID_FILE) {
        task.reason = platform::last_error();
        task.status = to_int(StatusCode::open_failed);
        task.err = failure_line(StatusCode::open_failed, path, task.reason);
        return false;
    }
    platform::FileFacts facts;
    if (platform::file_facts(file, &facts)) task.total = facts.size;
    platform::close(file);
    return true;
}

void refuse(FileTask& task, const std::string& line) {
    task.status = EXIT_USAGE;
    task.err = line;
}

// The names of a call's files, so that no output lands on another file of
// the same call: one's output replacing another's input, or two outputs one.
class CallFiles {
public:
    explicit CallFiles(const std::vector<std::u16string>& inputs) {
        for (const std::u16string& input : inputs) {
            platform::FileIdentity id;
            if (platform::file_identity(input.c_str(), &id)) inputs_.insert(key_of(id));
        }
    }

    bool is_an_input(const std::u16string& path) const {
        platform::FileIdentity id;
        return platform::file_identity(path.c_str(), &id) && inputs_.count(key_of(id)) != 0;
    }

    // The earlier input whose output is path too, or null; records path.
    // Compared as the system compares names, so that on Windows "a.qvk" and
    // "A.qvk" are one output.
    const std::u16string* output_taken(const std::u16string& path, const std::u16string& input) {
        std::error_code ec;
        std::u16string key = std::filesystem::absolute(std::filesystem::path(path), ec).lexically_normal().u16string();
        if (ec) key = path;
        platform::fold_name_case(key.data(), key.size());
        const auto [it, fresh] = outputs_.emplace(key, input);
        return fresh ? nullptr : &it->second;
    }

private:
    static std::pair<std::uint64_t, std::uint64_t> key_of(const platform::FileIdentity& id) {
        return {id.volume, id.index};
    }
    std::set<std::pair<std::uint64_t, std::uint64_t>> inputs_;
    std::map<std::u16string, std::u16string> outputs_;
};

// True when the task may write output. Judged on the name itself: a link,
// even a dangling one, is an existing output; a device, a pipe or a folder is
// never replaced.
bool output_ok(const Options& o, FileTask& task, CallFiles& files) {
    const std::u16string& output = task.output;
    if (output.size() > PATH_LIMIT) {
        refuse(task, refusal_line(longer_than(quoted_path(output), PATH_LIMIT) + "; choose a shorter output"));
        return false;
    }
    if (platform::same_file(output.c_str(), task.input.c_str())) {
        refuse(task, refusal_line(quoted_path(output) + " is the file being " +
                                  (o.command == Command::encrypt ? "encrypted" : "decrypted") +
                                  "; choose another output with -o"));
        return false;
    }
    if (o.use_keyfile && platform::same_file(output.c_str(), o.keyfile.c_str())) {
        refuse(task, refusal_line(quoted_path(output) + " is the key file; choose another output with -o"));
        return false;
    }
    if (files.is_an_input(output)) {
        refuse(task, refusal_line(quoted_path(output) + " is another file of this call; choose another output"));
        return false;
    }
    if (const std::u16string* earlier = files.output_taken(output, task.input)) {
        refuse(task, refusal_line(quoted_path(output) + " is the output of " + quoted_path(*earlier) + " too"));
        return false;
    }
    switch (platform::path_kind(output.c_str())) {
    case platform::PathKind::missing: return true;
    case platform::PathKind::folder:
    case platform::PathKind::other:
        task.status = to_int(StatusCode::create_failed);
        task.err = failure_line(StatusCode::create_failed, output, platform::ERROR_NOT_REGULAR_FILE);
        return false;
    case platform::PathKind::file:
    case platform::PathKind::link: break;
    }
    if (o.force) return true;
    refuse(task, already_exists_line(output));
    return false;
}

Overwrite overwrite_of(const Options& o) { return o.force ? Overwrite::replace : Overwrite::refuse; }

// DIR and a name, with DIR's own kind of separator.
std::u16string in_folder(const std::u16string& folder, const std::u16string& name) {
    if (folder.empty() || is_separator(folder.back())) return folder + name;
    return folder + (folder.find(u'\\') != std::u16string::npos ? u'\\' : u'/') + name;
}

// The key file, checked once for the whole call.
int keyfile_ok(const Options& o) {
    if (!o.use_keyfile) return 0;
    FileTask check;
    if (input_ok(o.keyfile, check)) return 0;
    say(Stream::err, check.err);
    return check.status;
}

int output_dir_ok(const Options& o) {
    if (o.output_dir.empty() || platform::path_kind(o.output_dir.c_str()) == platform::PathKind::folder) return 0;
    return usage_error(o.command, quoted_path(o.output_dir) + " is not a folder");
}

std::size_t ready_count(const std::vector<FileTask>& tasks) {
    std::size_t n = 0;
    for (const FileTask& t : tasks) n += t.ready ? 1 : 0;
    return n;
}

// When nothing can run, the lines of the refusals and the first one's status.
int nothing_to_run(std::vector<FileTask>& tasks) {
    BatchSettings quiet;
    quiet.quiet = true;
    return run_batch(tasks, quiet, [](FileTask&, JobContext&, ProgressSink*) {});
}

// The end of one job: its exit status and lines in the task.
void conclude(FileTask& task, const JobContext& job, JobKind kind, StatusCode status, bool quiet, bool several) {
    if (job.cancelled && status == StatusCode::ok) {
        task.cancelled = true;
        return;
    }
    if (status == StatusCode::create_failed && platform::is_exists_error(job.system_error)) {
        refuse(task, already_exists_line(task.output));
        return;
    }
    if (status != StatusCode::ok) {
        task.status = to_int(status);
        const bool about_output = status == StatusCode::create_failed && !task.output.empty();
        task.err = failure_line(status, about_output ? task.output : task.input, job.system_error);
        return;
    }
    if (quiet) return;
    const std::string done = to_display_utf8(ui::job_result_text(completion_kind(kind, status)));
    task.out = (several ? printable_utf8(task.input) + ": " : std::string()) + done + "\n";
}

BatchSettings settings_of(const Options& o, JobKind kind) {
    BatchSettings s;
    s.kind = kind;
    s.jobs = o.jobs;
    s.quiet = o.quiet;
    return s;
}

// --- Commands -----------------------------------------------------------------

std::u16string encrypt_output(const Options& o, const std::u16string& input) {
    if (!o.output.empty()) return o.output;
    char16_t proposed[PATH_FIELD_UNITS] = {};
    ui::default_encrypt_output(input.c_str(), proposed);
    std::u16string output = proposed;
    // Without an extension the proposal is the source itself; the Save
    // dialog would add its default extension, and so do we.
    if (output == input) output += u".qvk";
    if (o.output_dir.empty()) return output;
    return in_folder(o.output_dir, output.substr(name_start(output.c_str())));
}

int run_encrypt(const Options& o) {
    if (const int rc = keyfile_ok(o); rc != 0) return rc;
    if (const int rc = output_dir_ok(o); rc != 0) return rc;
    std::vector<FileTask> tasks(o.inputs.size());
    CallFiles files(o.inputs);
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        FileTask& t = tasks[i];
        t.input = o.inputs[i];
        if (!input_ok(t.input, t)) continue;
        t.output = encrypt_output(o, t.input);
        if (!output_ok(o, t, files)) continue;
        t.ready = true;
    }
    if (ready_count(tasks) == 0) return nothing_to_run(tasks);

    Secret password;
    if (const int rc = obtain_password(o, true, password); rc != 0) return rc;
    const bool several = tasks.size() > 1;
    const char16_t* keyfile = o.use_keyfile ? o.keyfile.c_str() : nullptr;
    const char16_t* hint = o.hint.empty() ? nullptr : o.hint.c_str();
    const std::uint32_t block = requested_block_size(o.block_size, o.jumble_rounds);
    const int status = run_batch(tasks, settings_of(o, JobKind::encrypting), [&](FileTask& t, JobContext& job,
                                                                                 ProgressSink* sink) {
        const StatusCode s = encrypt_file(job, t.input.c_str(), t.output.c_str(), keyfile, password.units, hint, block,
                                          o.jumble_rounds, sink, overwrite_of(o));
        conclude(t, job, JobKind::encrypting, s, o.quiet, several);
    });
    password.wipe();
    return status;
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

// A look at a container's header: the file is opened and closed again.
struct ContainerLook {
    StatusCode status = StatusCode::ok;
    platform::ErrorCode reason = 0;
    ContainerHeader header;
    std::uint32_t format_version = 0;
    ~ContainerLook() { header.bytes.fill(0); }
};

void look_at_container(const std::u16string& path, ContainerLook& look) {
    auto job = std::make_unique<JobContext>();
    look.status = open_container(*job, path.c_str());
    look.header = job->header;
    look.format_version = job->format_version;
    look.reason = job->system_error;
    release_job(*job);
    job->header.bytes.fill(0);
}

// The output of a container: the stored name, cleaned up as the main window
// does, beside the container or in -O DIR; empty when none can be had.
std::u16string decrypt_output(const Options& o, const std::u16string& input, const ContainerHeader& header) {
    if (!o.output.empty()) return o.output;
    PathParts parts{};
    split_path(parts, input.c_str());
    char16_t proposed[PATH_FIELD_UNITS] = {};
    ui::default_decrypt_output(header, proposed);
    std::u16string name = proposed;
    // A stored name that cannot be a file name gives way to the container's own stem.
    if (!usable_name(name)) name = parts.stem;
    if (!usable_name(name)) return {};
    return o.output_dir.empty() ? std::u16string(parts.directory) + name : in_folder(o.output_dir, name);
}

void show_hints(const std::vector<FileTask>& tasks, const std::vector<std::u16string>& hints) {
    const bool several = tasks.size() > 1;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        if (!tasks[i].ready || hints[i].empty()) continue;
        const std::string whose = several ? " for " + quoted_path(tasks[i].input) : std::string();
        say(Stream::err, "Hint" + whose + ": " + printable_utf8(hints[i]) + "\n");
    }
}

int run_decrypt(const Options& o) {
    if (const int rc = keyfile_ok(o); rc != 0) return rc;
    if (const int rc = output_dir_ok(o); rc != 0) return rc;
    std::vector<FileTask> tasks(o.inputs.size());
    std::vector<std::u16string> hints(o.inputs.size());
    CallFiles files(o.inputs);
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        FileTask& t = tasks[i];
        t.input = o.inputs[i];
        if (!input_ok(t.input, t)) continue;
        // Looked at first so a file that is no container fails before the password is asked.
        ContainerLook look;
        look_at_container(t.input, look);
        if (look.status != StatusCode::ok) {
            t.status = to_int(look.status);
            t.err = failure_line(look.status, t.input, look.reason);
            continue;
        }
        t.output = decrypt_output(o, t.input, look.header);
        char16_t hint[HINT_UNITS + 1] = {};
        header_hint(look.header, hint);
        hints[i] = hint;
        t.total = look.header.file_size();
        if (t.output.empty()) {
            refuse(t, refusal_line(quoted_path(t.input) + " stores no usable file name; give one with -o"));
            continue;
        }
        if (!output_ok(o, t, files)) continue;
        t.ready = true;
    }
    if (ready_count(tasks) == 0) return nothing_to_run(tasks);

    Secret password;
    if (o.password == PasswordSource::terminal && terminal::input_is_terminal()) show_hints(tasks, hints);
    if (const int rc = obtain_password(o, false, password); rc != 0) return rc;
    const bool several = tasks.size() > 1;
    const char16_t* keyfile = o.use_keyfile ? o.keyfile.c_str() : nullptr;
    const int status = run_batch(tasks, settings_of(o, JobKind::decrypting), [&](FileTask& t, JobContext& job,
                                                                                 ProgressSink* sink) {
        const StatusCode s =
            decrypt_file(job, t.input.c_str(), t.output.c_str(), keyfile, password.units, sink, overwrite_of(o));
        conclude(t, job, JobKind::decrypting, s, o.quiet, several);
    });
    password.wipe();
    return status;
}

int run_test(const Options& o) {
    std::vector<FileTask> tasks(o.inputs.size());
    const BatchSettings settings = settings_of(o, JobKind::testing);
    // No password waits on these checks: the job's own open reports the same
    // failure, so the inputs are opened first only when the progress line
    // needs their sizes. On a call of many small files that open is a sixth
    // of the time.
    const bool sized = shows_call_progress(settings, tasks.size());
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        FileTask& t = tasks[i];
        t.input = o.inputs[i];
        if (sized && !input_ok(t.input, t)) {
            if (o.json) {
                Json failed{{"path", to_display_utf8(t.input)}};
                add_status(failed, StatusCode::open_failed, t.reason, u"");
                t.json = failed.dump();
            }
            continue;
        }
        t.ready = true;
    }
    const bool several = tasks.size() > 1;
    const char16_t* passed = ui::job_result_text(completion_kind(JobKind::testing, StatusCode::ok));
    const int status = run_batch(tasks, settings, [&](FileTask& t, JobContext& job, ProgressSink* sink) {
        ContainerLook look;
        if (o.json) look_at_container(t.input, look);
        const StatusCode s = test_file(job, t.input.c_str(), sink);
        if (o.json) {
            Json object = look.status == StatusCode::ok ? container_json(t.input, look.header, look.format_version)
                                                        : Json{{"path", to_display_utf8(t.input)}};
            add_status(object, s, job.system_error, passed);
            t.json = object.dump();
        }
        conclude(t, job, JobKind::testing, s, o.quiet || o.json, several);
    });
    if (o.json) {
        std::vector<Json> results;
        for (const FileTask& t : tasks)
            if (!t.json.empty()) results.push_back(Json::parse(t.json));
        if (!results.empty()) say(Stream::out, json_text(results));
    }
    return status;
}

// What the main window shows for each file: a container only when both its
// name and its content say so, otherwise the plain file.
int run_info(const Options& o) {
    int status = 0;
    std::vector<Json> results;
    const bool several = o.inputs.size() > 1;
    for (const std::u16string& input : o.inputs) {
        auto job = std::make_unique<JobContext>();
        ui::FileView view;
        ui::view_file(*job, input.c_str(), view, nullptr);
        if (o.json) results.push_back(file_json(input, view, *job));
        if (view.kind == ui::Inspection::failure) {
            say(Stream::err, failure_line(view.status, input, view.reason));
            if (status == 0) status = to_int(view.status);
        } else if (!o.json) {
            std::string lines = several ? printable_utf8(input) + ":\n" : std::string();
            const std::string indent = several ? "  " : "";
            lines += indent + "File: " + printable_utf8(view.name) + "\n";
            lines += indent + "Type: " + printable_utf8(view.type) + "\n";
            lines += indent + "Size: " + printable_utf8(view.size) + "\n";
            lines += indent + "Date: " + printable_utf8(view.date) + "\n";
            if (view.kind == ui::Inspection::container) lines += indent + "Hint: " + printable_utf8(view.hint) + "\n";
            say(Stream::out, lines);
        }
        job->header.bytes.fill(0);
    }
    if (o.json && !results.empty()) say(Stream::out, json_text(results));
    return status;
}

std::string version_text() {
    return std::string("corvane-cli ") + CORVANE_VERSION_TEXT + " (" + platform::built_for() + ")\n";
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
    if (o.version) {
        say(Stream::out, version_text());
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
