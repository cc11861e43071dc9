#include "engine/container/job_context.h"

#include <cstring>
#include <new>

#include "engine/container/legacy_header.h"

namespace corvane {

namespace {

constexpr std::uint32_t MIN_BLOCK_REQUEST = 32768;
constexpr std::uint32_t MAX_BLOCK_REQUEST = 33554432;
constexpr std::uint32_t SMALL_BLOCK_LIMIT = 2048;  // below this only a single-block file may go
constexpr std::uint32_t MIN_DIGEST_ROUNDS = 4096;
constexpr std::uint32_t MIN_KEY_ROUNDS = 256;
constexpr std::uint32_t MIN_TABLE_ROUNDS = 4096;
constexpr std::uint64_t FOUR_GIB = 0x100000000ull;

StatusCode succeed(JobContext& job) {
    job.status = StatusCode::ok;
    return StatusCode::ok;
}

template <typename T>
void wipe_and_free(T*& buffer, std::size_t count) {
    if (buffer == nullptr) return;
    platform::secure_wipe(buffer, count * sizeof(T));
    delete[] buffer;
    buffer = nullptr;
}

void free_buffers(JobContext& job) {
    wipe_and_free(job.block_buffer, job.buffer_size);
    wipe_and_free(job.spare_buffer, job.buffer_size);
    wipe_and_free(job.jumble_map, job.buffer_size);
    wipe_and_free(job.pad_buffer, job.buffer_size);
    job.buffer_size = 0;
}

void close_handle(platform::FileHandle& handle) {
    if (handle == platform::INVALID_FILE) return;
    platform::close(handle);
    handle = platform::INVALID_FILE;
}

// Copies at most max_units of a NUL-terminated text, as UTF-16LE; the cleared
// image supplies the terminator.
void copy_text(std::uint8_t* area, const char16_t* text, std::size_t max_units) {
    if (text == nullptr) return;
    for (std::size_t i = 0; i < max_units && text[i] != 0; ++i)
        store16_le(area + 2 * i, static_cast<std::uint16_t>(text[i]));
}

StatusCode validate_header(JobContext& job) {
    ContainerHeader& h = job.header;
    if (rot_sum(h.bytes.data(), header_offset::header_sum) != h.header_sum()) return fail(job, StatusCode::damaged);

    if (h.digest_rounds() < MIN_DIGEST_ROUNDS || h.key_rounds() < MIN_KEY_ROUNDS ||
        h.table_rounds() < MIN_TABLE_ROUNDS)
        return fail(job, StatusCode::damaged);

    const std::uint64_t file_size = h.file_size();
    const std::uint32_t block_size = h.block_size();
    // Small blocks are only plausible when the whole file is one block.
    if (block_size < SMALL_BLOCK_LIMIT && (file_size >= FOUR_GIB || block_size < file_size))
        return fail(job, StatusCode::damaged);

    if (h.flags() > (FLAG_MIXED_KEYFILE | FLAG_SHORT_FILE) || h.schedule_version() > CURRENT_SCHEDULE_VERSION ||
        h.jumble_rounds() > MAX_ROUNDS || block_size > MAX_BLOCK_SIZE || h.digest_rounds() > MAX_ROUNDS ||
        h.key_rounds() > MAX_ROUNDS || h.table_rounds() > MAX_ROUNDS)
        return fail(job, StatusCode::unsupported);

    if ((h.flags() & FLAG_SHORT_FILE) != 0) {
        if (file_size >= FOUR_GIB || file_size < SHORT_FILE_SIZE) return fail(job, StatusCode::damaged);
        if (file_size > SHORT_FILE_SIZE) return fail(job, StatusCode::unsupported);
        std::memset(job.short_buffer, 0, sizeof job.short_buffer);
    }

    if (file_size < FOUR_GIB && block_size > file_size) h.set_block_size(static_cast<std::uint32_t>(file_size));
    if (h.block_size() < 2) h.set_jumble_rounds(0);

    store16_le(&h.bytes[header_offset::file_name + 2 * FILE_NAME_UNITS], 0);
    store16_le(&h.bytes[header_offset::hint + 2 * HINT_UNITS], 0);
    return succeed(job);
}

}  // namespace

StatusCode fail(JobContext& job, StatusCode code) {
    if (job.status == StatusCode::ok) job.status = code;
    return job.status;
}

StatusCode fail_system(JobContext& job, StatusCode code) {
    if (job.status == StatusCode::ok) job.system_error = platform::last_error();
    return fail(job, code);
}

void begin_job(JobContext& job) {
    job.status = StatusCode::ok;
    job.system_error = 0;
    job.cancelled = false;
}

// open_container and open_source begin a job, so a code left by the previous
// job must not stand in for this one's result.
StatusCode open_container(JobContext& job, const char16_t* path) {
    begin_job(job);
    if (path == nullptr || job.source_handle != platform::INVALID_FILE) return fail(job, StatusCode::open_failed);
    job.source_handle = platform::open_read(path);
    if (job.source_handle == platform::INVALID_FILE) return fail_system(job, StatusCode::open_failed);

    ContainerHeader& h = job.header;
    h.bytes.fill(0);
    std::uint32_t got = 0;
    if (!platform::read(job.source_handle, h.bytes.data(), HEADER_SIZE, &got))
        return fail_system(job, StatusCode::read_failed);
    if (got < 4 || h.magic() != HEADER_MAGIC) return fail(job, StatusCode::not_container);

    job.format_version = h.format_version();
    if (job.format_version == 0 || job.format_version == 1) {
        const StatusCode imported = import_legacy_header(job.source_handle, h, job.format_version);
        if (imported == StatusCode::read_failed) return fail_system(job, imported);
        if (imported != StatusCode::ok) return fail(job, imported);
    } else if (job.format_version != CURRENT_FORMAT_VERSION || got < HEADER_SIZE) {
        return fail(job, StatusCode::not_container);
    }
    return validate_header(job);
}

StatusCode open_source(JobContext& job, const char16_t* path) {
    begin_job(job);
    if (path == nullptr || job.source_handle != platform::INVALID_FILE) return fail(job, StatusCode::open_failed);
    job.source_handle = platform::open_read(path);
    if (job.source_handle == platform::INVALID_FILE) return fail_system(job, StatusCode::open_failed);

    platform::FileFacts facts;
    if (!platform::file_facts(job.source_handle, &facts)) return fail_system(job, StatusCode::open_failed);

    ContainerHeader& h = job.header;
    if (facts.size < SHORT_FILE_SIZE) {
        h.set_flags(static_cast<std::uint16_t>(h.flags() | FLAG_SHORT_FILE));
        h.set_file_size(SHORT_FILE_SIZE);
        job.short_buffer[SHORT_FILE_SIZE - 1] = static_cast<std::uint8_t>(facts.size);
    } else {
        h.set_file_size(facts.size);
    }
    h.set_write_time(facts.write_time);
    h.set_attributes(facts.attributes);
    return succeed(job);
}

// Picks the size near the request that leaves the least room empty in the
// last block. Candidates are visited outward from the request, so the first
// one that divides the file ends the search; ties keep the rule of the format:
// least slack, then least distance, then the larger size.
std::uint32_t choose_block_size(std::uint32_t requested, std::uint64_t file_size) {
    std::uint32_t c = requested;
    if (c < MIN_BLOCK_REQUEST) c = MIN_BLOCK_REQUEST;
    if (c > MAX_BLOCK_REQUEST) c = MAX_BLOCK_REQUEST;
    if (file_size <= c) return static_cast<std::uint32_t>(file_size);

    const std::uint32_t lo = c / 2;
    const std::uint32_t hi = c + c / 2;
    std::uint32_t best = 0;
    std::uint64_t best_slack = 0;
    bool have = false;
    auto consider = [&](std::uint32_t i) {
        const std::uint64_t rest = file_size % i;
        const std::uint64_t slack = rest == 0 ? 0 : i - rest;
        // Visited in order of distance, larger first: only a smaller slack wins.
        if (!have || slack < best_slack) {
            best = i;
            best_slack = slack;
            have = true;
        }
    };
    const std::uint32_t reach = c - lo > hi - c ? c - lo : hi - c;
    for (std::uint32_t d = 0; d <= reach; ++d) {
        if (c + d <= hi) consider(c + d);
        if (d != 0 && c - d >= lo) consider(c - d);
        if (best_slack == 0) break;
    }
    return best;
}

void fill_header(JobContext& job, std::uint32_t jumble_rounds, std::uint32_t requested_block_size,
                 const char16_t* hint, const char16_t* file_name) {
    ContainerHeader& h = job.header;
    h.bytes[0] = 'K';
    h.bytes[1] = 'V';
    h.bytes[2] = 'Q';
    h.bytes[header_offset::format_version] = CURRENT_FORMAT_VERSION;
    h.set_flags(static_cast<std::uint16_t>(h.flags() | FLAG_MIXED_KEYFILE));
    h.set_schedule_version(CURRENT_SCHEDULE_VERSION);
    h.set_jumble_rounds(jumble_rounds);
    h.set_block_size(choose_block_size(requested_block_size, h.file_size()));
    copy_text(&h.bytes[header_offset::hint], hint, HINT_UNITS);
    copy_text(&h.bytes[header_offset::file_name], file_name, FILE_NAME_UNITS);
}

void seal_header(JobContext& job) {
    job.header.set_header_sum(rot_sum(job.header.bytes.data(), header_offset::header_sum));
}

StatusCode write_header(JobContext& job) {
    seal_header(job);
    std::uint32_t put = 0;
    if (!platform::write(job.output_handle, job.header.bytes.data(), HEADER_SIZE, &put) || put != HEADER_SIZE)
        return fail_system(job, StatusCode::write_failed);
    return job.status;
}

StatusCode allocate_buffers(JobContext& job, std::uint32_t size, bool permute, bool keyfile_open) {
    // A job allocates once; buffers left from an earlier call are not leaked.
    free_buffers(job);
    job.buffer_size = size;
    if (size == 0) return job.status;

    job.block_buffer = new (std::nothrow) std::uint8_t[size];
    if (job.block_buffer == nullptr) return fail(job, StatusCode::no_memory);
    if (permute) {
        job.spare_buffer = new (std::nothrow) std::uint8_t[size];
        if (job.spare_buffer == nullptr) return fail(job, StatusCode::no_memory);
        job.jumble_map = new (std::nothrow) std::uint32_t[size];
        if (job.jumble_map == nullptr) return fail(job, StatusCode::no_memory);
    }
    if (keyfile_open && (job.header.flags() & FLAG_MIXED_KEYFILE) == 0) {
        job.pad_buffer = new (std::nothrow) std::uint8_t[size];
        if (job.pad_buffer == nullptr) return fail(job, StatusCode::no_memory);
    }
    return job.status;
}

void release_job(JobContext& job) {
    platform::secure_wipe(&job.cipher, sizeof job.cipher);
    free_buffers(job);
    platform::secure_wipe(job.short_buffer, sizeof job.short_buffer);
    close_handle(job.source_handle);
    close_handle(job.output_handle);
    close_handle(job.keyfile_handle);
}

}  // namespace corvane
