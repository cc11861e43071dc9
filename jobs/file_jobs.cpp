#include "jobs/file_jobs.h"

#include <atomic>

#include "engine/cipher/entropy.h"
#include "engine/cipher/key_schedule.h"
#include "engine/container/block_stream.h"
#include "jobs/paths.h"
#include "platform/platform.h"

namespace corvane {

namespace {

constexpr std::uint64_t MIB = 1048576;
constexpr std::uint32_t RESERVE_BLOCK_FLOOR = 32768;
constexpr unsigned BLOCKS_PER_RESERVE_MIB_SHIFT = 16;  // one more MiB per 65536 blocks

// A temporary name is ".<name>.<8 hex digits>.tmp" beside the target.
constexpr std::size_t TEMP_EXTRA_UNITS = 14;
constexpr std::size_t COMPONENT_LIMIT = 255;
constexpr std::size_t TEMP_PATH_UNITS = PATH_FIELD_UNITS + 32;
constexpr int TEMP_ATTEMPTS = 16;

bool absent(const char16_t* text) { return text == nullptr || text[0] == 0; }

std::size_t length_of(const char16_t* text) {
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

std::uint32_t next_temp_token() {
    static std::atomic<std::uint32_t> counter{0};
    std::uint32_t x = counter.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B9u;
    x ^= job_clock().tick_ms();
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    return x;
}

// The job writes here and moves the result over the target only once it has
// succeeded, so a failed or cancelled job leaves whatever stood at the target
// untouched. The temporary sits in the target's folder so the move is a
// rename on the same volume.
struct Output {
    const char16_t* target = nullptr;
    Overwrite overwrite = Overwrite::replace;
    char16_t directory[TEMP_PATH_UNITS] = {};
    char16_t temp[TEMP_PATH_UNITS] = {};
    bool created = false;  // the temporary exists and must be moved or deleted
    bool keep = false;     // the job finished and was not cancelled
};

void prepare_output(Output& out, const char16_t* target, Overwrite overwrite) {
    out.target = target;
    out.overwrite = overwrite;
    // The folder comes from the whole path, not the 259-unit cut of
    // split_path, so a long path still gets its own folder.
    const std::size_t name = name_start(target);
    const std::size_t folder = name < TEMP_PATH_UNITS ? name : 0;
    for (std::size_t i = 0; i < folder; ++i) out.directory[i] = target[i];
}

void build_temp_path(Output& out, std::uint32_t token) {
    const std::size_t folder = length_of(out.directory);
    const char16_t* name = out.target + folder;
    // Keep the name short enough for one path component and, where the
    // folder allows, for the 259 units of a classic Windows path.
    std::size_t room = COMPONENT_LIMIT - TEMP_EXTRA_UNITS;
    const std::size_t classic = PATH_LIMIT;
    if (folder + TEMP_EXTRA_UNITS >= classic)
        room = 0;
    else if (classic - folder - TEMP_EXTRA_UNITS < room)
        room = classic - folder - TEMP_EXTRA_UNITS;

    std::size_t n = 0;
    for (std::size_t i = 0; i < folder; ++i) out.temp[n++] = out.directory[i];
    out.temp[n++] = u'.';
    for (std::size_t i = 0; i < room && name[i] != 0; ++i) out.temp[n++] = name[i];
    out.temp[n++] = u'.';
    for (int shift = 28; shift >= 0; shift -= 4) {
        const unsigned digit = (token >> shift) & 0xFu;
        out.temp[n++] = static_cast<char16_t>(digit < 10 ? u'0' + digit : u'a' + digit - 10);
    }
    for (const char16_t c : u".tmp") out.temp[n++] = c;  // includes the NUL
}

bool read_only_file(const char16_t* path) {
    const platform::FileHandle file = platform::open_read(path);
    if (file == platform::INVALID_FILE) return false;  // the move will tell
    platform::FileFacts facts;
    const bool known = platform::file_facts(file, &facts);
    platform::close(file);
    return known && (facts.attributes & platform::ATTRIBUTE_READONLY) != 0;
}

StatusCode refuse_target(JobContext& job, platform::ErrorCode reason) {
    fail(job, StatusCode::create_failed);
    job.system_error = reason;
    return job.status;
}

// What stands at the target is judged on the name itself, before anything is
// read: only a regular file or a link may be replaced (a device, a pipe or a
// folder never), a read-only file is not, and without replacing nothing is.
// The final move checks again; finding out now saves a whole job.
StatusCode check_target(JobContext& job, const Output& out) {
    const platform::PathKind kind = platform::path_kind(out.target);
    switch (kind) {
    case platform::PathKind::missing: return job.status;
    case platform::PathKind::folder:
    case platform::PathKind::other: return refuse_target(job, platform::ERROR_NOT_REGULAR_FILE);
    case platform::PathKind::file:
    case platform::PathKind::link: break;
    }
    if (out.overwrite == Overwrite::refuse) return refuse_target(job, platform::ERROR_TARGET_EXISTS);
    if (kind == platform::PathKind::file && read_only_file(out.target))
        return refuse_target(job, platform::ERROR_READ_ONLY_TARGET);
    return job.status;
}

StatusCode create_output(JobContext& job, Output& out) {
    for (int attempt = 0; attempt < TEMP_ATTEMPTS; ++attempt) {
        build_temp_path(out, next_temp_token());
        job.output_handle = platform::create_new(out.temp);
        if (job.output_handle != platform::INVALID_FILE) {
            out.created = true;
            return job.status;
        }
        // Only a name already taken is worth another try.
        const platform::ErrorCode reason = platform::last_error();
        if (!platform::path_exists(out.temp)) {
            fail(job, StatusCode::create_failed);
            job.system_error = reason;
            return job.status;
        }
    }
    return fail(job, StatusCode::create_failed);
}

// The end of a job that succeeded: the output is published with a new file's
// permissions and reaches the disk before it takes the target's name, so a
// completed job survives a power cut.
StatusCode complete_output(JobContext& job, Output& out) {
    out.keep = job.run_state.load() != RunState::cancelling;
    job.cancelled = !out.keep;
    if (out.keep && !platform::finish_file(job.output_handle)) return fail_system(job, StatusCode::write_failed);
    return job.status;
}

// After release_job has closed the handle: move a finished output to the
// target, or remove the temporary. Without replacing, the move itself
// refuses a target that appeared while the job ran.
void finish_output(JobContext& job, Output& out) {
    if (!out.created) return;
    if (job.status == StatusCode::ok && out.keep) {
        const bool moved = out.overwrite == Overwrite::replace ? platform::replace_file(out.temp, out.target)
                                                               : platform::move_new(out.temp, out.target);
        if (moved) return;
        fail_system(job, StatusCode::create_failed);
    }
    (void)platform::delete_file(out.temp);
}

// Writing an output over the job's own source or key file would destroy an
// input, and both must stay readable until the job ends.
bool names_an_input(const char16_t* output, const char16_t* source, const char16_t* keyfile) {
    if (source != nullptr && platform::same_file(output, source)) return true;
    return keyfile != nullptr && platform::same_file(output, keyfile);
}

// A failed query counts as no room, except that a folder which does not exist
// is reported as an output that cannot be saved, not as a full disk.
StatusCode check_space(JobContext& job, const Output& out, std::uint64_t size, std::uint64_t reserve) {
    std::uint64_t free = 0;
    if (free_space_query()(out.directory, &free)) {
        if (has_room(free, size, reserve)) return job.status;
        return fail(job, StatusCode::disk_full);
    }
    const platform::ErrorCode reason = platform::last_error();
    fail(job, out.directory[0] != 0 && !platform::path_exists(out.directory) ? StatusCode::create_failed
                                                                            : StatusCode::disk_full);
    job.system_error = reason;
    return job.status;
}

StatusCode open_keyfile(JobContext& job, const char16_t* keyfile) {
    if (keyfile == nullptr) return job.status;
    job.keyfile_handle = platform::open_read(keyfile);
    if (job.keyfile_handle == platform::INVALID_FILE) return fail_system(job, StatusCode::open_failed);
    return job.status;
}

StatusCode decrypt_steps(JobContext& job, const char16_t* container, Output& out, const char16_t* keyfile,
                         const char16_t* password, ProgressSink* owner) {
    if (check_target(job, out) != StatusCode::ok) return job.status;
    if (open_container(job, container) != StatusCode::ok) return job.status;
    if (check_space(job, out, job.header.file_size(), FREE_SPACE_RESERVE) != StatusCode::ok) return job.status;
    if (open_keyfile(job, keyfile) != StatusCode::ok) return job.status;
    if (create_output(job, out) != StatusCode::ok) return job.status;
    meter_start(job, job.header.file_size(), owner);
    if (schedule_key(job, password) != StatusCode::ok) return job.status;
    if (read_stream(job) != StatusCode::ok) return job.status;
    if (!platform::set_write_time(job.output_handle, job.header.write_time()))
        return fail_system(job, StatusCode::write_failed);
    return complete_output(job, out);
}

StatusCode encrypt_steps(JobContext& job, const char16_t* source, Output& out, const char16_t* keyfile,
                         const char16_t* password, const char16_t* hint, std::uint32_t block_size,
                         std::uint32_t jumble_rounds, ProgressSink* owner) {
    if (check_target(job, out) != StatusCode::ok) return job.status;
    job.header.bytes.fill(0);
    if (open_source(job, source) != StatusCode::ok) return job.status;
    fill_header(job, jumble_rounds, block_size, hint, source + name_start(source));

    const std::uint64_t size = job.header.file_size();
    if (check_space(job, out, size, encrypt_space_reserve(size, job.header.block_size())) != StatusCode::ok)
        return job.status;
    if (open_keyfile(job, keyfile) != StatusCode::ok) return job.status;
    if (create_output(job, out) != StatusCode::ok) return job.status;
    meter_start(job, size, owner);
    seed_header(job);
    if (schedule_key(job, password) != StatusCode::ok) return job.status;
    if (write_stream(job) != StatusCode::ok) return job.status;
    return complete_output(job, out);
}

}  // namespace

FreeSpaceFn& free_space_query() {
    static FreeSpaceFn query = &platform::free_space;
    return query;
}

std::uint64_t encrypt_space_reserve(std::uint64_t size, std::uint32_t block_size) {
    const std::uint64_t divisor = block_size > RESERVE_BLOCK_FLOOR ? block_size : RESERVE_BLOCK_FLOOR;
    const std::uint64_t blocks = size / divisor;
    const auto mib = static_cast<std::uint32_t>((blocks >> BLOCKS_PER_RESERVE_MIB_SHIFT) + 1);
    return static_cast<std::uint64_t>(mib) * MIB;
}

std::uint32_t requested_block_size(std::uint32_t block_size, std::uint32_t jumble_rounds) {
    if (jumble_rounds == 0 && block_size >= STREAM_BLOCK_LIMIT) return STREAM_BLOCK_LIMIT;
    return block_size;
}

StatusCode decrypt_file(JobContext& job, const char16_t* container, const char16_t* output,
                        const char16_t* keyfile, const char16_t* password, ProgressSink* owner, Overwrite overwrite) {
    begin_job(job);
    // Nothing is opened on these two refusals, so there is nothing to release.
    if (absent(output) || names_an_input(output, container, keyfile))
        return job.status = StatusCode::create_failed;

    Output out;
    prepare_output(out, output, overwrite);
    (void)decrypt_steps(job, container, out, keyfile, password, owner);
    release_job(job);
    finish_output(job, out);
    // Applied by path after the move: a read-only bit would have stopped the writing.
    const std::uint32_t attributes = job.header.attributes() & RESTORE_ATTRIBUTE_MASK;
    if (job.status == StatusCode::ok && out.keep && attributes != 0)
        (void)platform::set_attributes(output, attributes);
    return job.status;
}

StatusCode encrypt_file(JobContext& job, const char16_t* source, const char16_t* output,
                        const char16_t* keyfile, const char16_t* password, const char16_t* hint,
                        std::uint32_t block_size, std::uint32_t jumble_rounds, ProgressSink* owner,
                        Overwrite overwrite) {
    begin_job(job);
    if (absent(output) || names_an_input(output, source, keyfile)) return job.status = StatusCode::create_failed;

    Output out;
    prepare_output(out, output, overwrite);
    (void)encrypt_steps(job, source, out, keyfile, password, hint, block_size, jumble_rounds, owner);
    release_job(job);
    finish_output(job, out);
    return job.status;
}

StatusCode test_file(JobContext& job, const char16_t* container, ProgressSink* owner) {
    if (open_container(job, container) == StatusCode::ok) {
        meter_start(job, job.header.file_size(), owner);
        (void)verify_stream(job);
    }
    release_job(job);
    return job.status;
}

}  // namespace corvane
