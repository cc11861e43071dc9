#include "engine/container/block_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/cipher/jumble.h"
#include "engine/cipher/keystream.h"

namespace corvane {

namespace {

[[nodiscard]] std::uint32_t expected_length(std::uint64_t remaining, std::uint32_t block_size) {
    return remaining >= block_size ? block_size : static_cast<std::uint32_t>(remaining);
}

[[nodiscard]] bool is_short(const JobContext& job) {
    return (job.header.flags() & FLAG_SHORT_FILE) != 0;
}

// A stream that still has bytes to carry needs a block size; a zero one would
// never advance.
[[nodiscard]] bool stream_shape_ok(const JobContext& job) {
    return job.header.file_size() == 0 || job.header.block_size() != 0;
}

// The poll after every block, then the part of the block the permutation has
// not reported yet. False when the job is being cancelled.
[[nodiscard]] bool pace(JobContext& job, std::uint32_t n) {
    if (!poll_run_state(job)) return false;
    if (job.block_reported < n) meter_advance(job, n - job.block_reported);
    return true;
}

[[nodiscard]] bool write_all(platform::FileHandle file, const void* data, std::uint32_t count) {
    std::uint32_t put = 0;
    return platform::write(file, data, count, &put) && put == count;
}

// Reads a block record head and its stored bytes, checking the stored length
// against the expected one before it sizes the read. sum carries the running
// block sum (chained across blocks for the two earliest versions).
[[nodiscard]] StatusCode read_block_record(JobContext& job, std::uint32_t expected, std::uint32_t& n,
                                           std::uint32_t& sum) {
    std::uint8_t head[BLOCK_HEAD_SIZE];
    std::uint32_t got = 0;
    if (!platform::read(job.source_handle, head, BLOCK_HEAD_SIZE, &got)) return fail_system(job, StatusCode::read_failed);
    if (got < BLOCK_HEAD_SIZE) return fail(job, StatusCode::truncated);

    n = load32_le(head);
    const bool lenient = job.format_version < CURRENT_FORMAT_VERSION;
    if (n != expected && (!lenient || n > expected || n == 0)) return fail(job, StatusCode::damaged);
    if (job.block_buffer == nullptr) return fail(job, StatusCode::damaged);
    // Only a reader's buffer cut to the container's size is smaller than a
    // block: a block that long cannot be in the file.
    if (n > job.buffer_size) return fail(job, StatusCode::truncated);

    if (!platform::read(job.source_handle, job.block_buffer, n, &got)) return fail_system(job, StatusCode::read_failed);
    if (got < n) return fail(job, StatusCode::truncated);

    sum = rot_sum(job.block_buffer, n, lenient ? sum : 0);
    if (sum != load32_le(head + 4)) return fail(job, StatusCode::damaged);
    return StatusCode::ok;
}

struct Trailer {
    std::uint32_t got = 0;
    std::uint32_t word[4] = {};
};

// Asks for the whole trailer and accepts the first two words alone; bytes
// after it are ignored.
[[nodiscard]] StatusCode read_trailer(JobContext& job, Trailer& trailer) {
    std::uint8_t bytes[TRAILER_SIZE] = {};
    if (!platform::read(job.source_handle, bytes, TRAILER_SIZE, &trailer.got)) return fail_system(job, StatusCode::read_failed);
    if (trailer.got < 8) return fail(job, StatusCode::truncated);
    for (std::size_t i = 0; i < 4; ++i) trailer.word[i] = load32_le(bytes + 4 * i);
    if (trailer.word[0] != 0) return fail(job, StatusCode::damaged);
    return StatusCode::ok;
}

// Words 2 and 3 repeat the sum, so a well-formed trailer whose sum differs
// from the plaintext's points at the key rather than at damage.
[[nodiscard]] bool trailer_consistent(const Trailer& trailer) {
    return trailer.got == TRAILER_SIZE && trailer.word[2] == rol32(trailer.word[1], 1) &&
           trailer.word[3] == ~trailer.word[1];
}

enum class Pass { writing, reading };

// Every pass starts the same way: the job's buffers at the block size, then
// the header's shape checked before any block is read or written. A reader's
// buffers are never larger than the container itself, which no block of it
// can outgrow: a small file whose header asks for huge blocks costs little,
// and still fails as short at its first block.
StatusCode begin_stream(JobContext& job, Pass pass, bool permute, bool keyfile_open) {
    std::uint32_t size = job.header.block_size();
    platform::FileFacts facts;
    if (pass == Pass::reading && platform::file_facts(job.source_handle, &facts) && facts.size < size)
        size = static_cast<std::uint32_t>(facts.size);
    if (allocate_buffers(job, size, permute, keyfile_open) != StatusCode::ok) return job.status;
    if (!stream_shape_ok(job)) return fail(job, StatusCode::damaged);
    return job.status;
}

}  // namespace

StatusCode write_stream(JobContext& job) {
    ContainerHeader& h = job.header;
    const std::uint32_t block_size = h.block_size();
    if (begin_stream(job, Pass::writing, h.jumble_rounds() != 0, job.keyfile_handle != platform::INVALID_FILE) !=
        StatusCode::ok)
        return job.status;

    job.plain_sum = 0;
    std::uint64_t remaining = h.file_size();
    std::uint64_t done = 0;
    const bool short_source = is_short(job);

    if (short_source) {
        if (remaining != SHORT_FILE_SIZE || block_size != SHORT_FILE_SIZE) return fail(job, StatusCode::damaged);
        const std::uint32_t len = std::min<std::uint32_t>(job.short_buffer[SHORT_FILE_SIZE - 1], SHORT_FILE_SIZE - 1);
        std::uint32_t got = 0;
        if (len != 0 && !platform::read(job.source_handle, job.short_buffer, len, &got))
            return fail_system(job, StatusCode::read_failed);
        if (got != len) return fail(job, StatusCode::read_failed);
    }

    if (write_header(job) != StatusCode::ok) return job.status;

    while (remaining != 0) {
        job.block_reported = 0;
        const std::uint32_t n = expected_length(remaining, block_size);
        if (short_source) {
            std::memcpy(job.block_buffer, job.short_buffer + done, n);
        } else {
            std::uint32_t got = 0;
            if (!platform::read(job.source_handle, job.block_buffer, block_size, &got))
                return fail_system(job, StatusCode::read_failed);
            // A different count means the source changed size since it was opened.
            if (got != n) return fail(job, StatusCode::truncated);
        }
        done += n;
        remaining -= n;

        // The block sum is taken in the pass that produces the stored bytes.
        std::uint32_t block_sum = 0;
        if (h.jumble_rounds() != 0) {
            encipher_bytes(job, job.block_buffer, n);
            if (!jumble_block(job, n)) return job.status;
            block_sum = gather_and_sum(job.spare_buffer, job.block_buffer, job.jumble_map, n);
            std::swap(job.block_buffer, job.spare_buffer);
        } else {
            block_sum = encipher_and_sum(job, job.block_buffer, n);
        }

        std::uint8_t head[BLOCK_HEAD_SIZE];
        store32_le(head, n);
        store32_le(head + 4, block_sum);
        if (!write_all(job.output_handle, head, BLOCK_HEAD_SIZE) || !write_all(job.output_handle, job.block_buffer, n))
            return fail_system(job, StatusCode::write_failed);

        if (!pace(job, n)) return job.status;
    }

    std::uint8_t trailer[TRAILER_SIZE];
    store32_le(trailer, 0);
    store32_le(trailer + 4, job.plain_sum);
    store32_le(trailer + 8, rol32(job.plain_sum, 1));
    store32_le(trailer + 12, ~job.plain_sum);
    if (!write_all(job.output_handle, trailer, TRAILER_SIZE)) return fail_system(job, StatusCode::write_failed);
    return job.status;
}

StatusCode read_stream(JobContext& job) {
    ContainerHeader& h = job.header;
    const std::uint32_t block_size = h.block_size();
    if (begin_stream(job, Pass::reading, h.jumble_rounds() != 0, job.keyfile_handle != platform::INVALID_FILE) !=
        StatusCode::ok)
        return job.status;

    job.plain_sum = 0;
    std::uint64_t remaining = h.file_size();
    std::uint64_t done = 0;
    std::uint32_t running_sum = 0;
    const bool short_source = is_short(job);

    while (remaining != 0) {
        job.block_reported = 0;
        std::uint32_t n = 0;
        if (read_block_record(job, expected_length(remaining, block_size), n, running_sum) != StatusCode::ok)
            return job.status;
        if (apply_key_pad(job, n) != StatusCode::ok) return job.status;

        if (h.jumble_rounds() != 0) {
            if (!jumble_block(job, n)) return job.status;
            scatter_block(job.spare_buffer, job.block_buffer, job.jumble_map, n);
            std::swap(job.block_buffer, job.spare_buffer);
        }
        decipher_bytes(job, job.block_buffer, n);

        if (short_source) {
            // The short block is held back until its length byte is known.
            if (done < SHORT_FILE_SIZE) {
                const auto at = static_cast<std::uint32_t>(done);
                std::memcpy(job.short_buffer + at, job.block_buffer, std::min(SHORT_FILE_SIZE - at, n));
            }
        } else if (!write_all(job.output_handle, job.block_buffer, n)) {
            return fail_system(job, StatusCode::write_failed);
        }
        done += n;
        remaining -= n;

        if (!pace(job, n)) return job.status;
    }

    Trailer trailer;
    if (read_trailer(job, trailer) != StatusCode::ok) return job.status;

    if (short_source) {
        std::uint8_t& len = job.short_buffer[SHORT_FILE_SIZE - 1];
        if (len > SHORT_FILE_SIZE - 1) len = SHORT_FILE_SIZE - 1;
        if (len != 0 && !write_all(job.output_handle, job.short_buffer, len)) return fail_system(job, StatusCode::write_failed);
        h.set_file_size(len);
    }

    if (trailer.word[1] == job.plain_sum) return job.status;
    if (h.schedule_version() == 0 || trailer_consistent(trailer)) return fail(job, StatusCode::wrong_key);
    return fail(job, StatusCode::damaged);
}

StatusCode verify_stream(JobContext& job) {
    const ContainerHeader& h = job.header;
    const std::uint32_t block_size = h.block_size();
    if (begin_stream(job, Pass::reading, false, false) != StatusCode::ok) return job.status;

    std::uint64_t remaining = h.file_size();
    std::uint32_t running_sum = 0;
    while (remaining != 0) {
        job.block_reported = 0;
        std::uint32_t n = 0;
        if (read_block_record(job, expected_length(remaining, block_size), n, running_sum) != StatusCode::ok)
            return job.status;
        remaining -= n;
        if (!poll_run_state(job)) return job.status;
        meter_advance(job, n);
    }

    Trailer trailer;
    if (read_trailer(job, trailer) != StatusCode::ok) return job.status;
    // Without the password only the trailer's own consistency can be checked,
    // and the earliest variant's trailer is not relied on even for that.
    if (h.schedule_version() == 0 || trailer_consistent(trailer)) return job.status;
    return fail(job, StatusCode::damaged);
}

StatusCode apply_key_pad(JobContext& job, std::uint32_t n) {
    if (job.pad_buffer == nullptr) return job.status;
    if (n > job.buffer_size) return fail(job, StatusCode::damaged);
    std::uint8_t* pad = job.pad_buffer;

    std::uint32_t g = 0;
    if (!platform::read(job.keyfile_handle, pad, n, &g)) return fail_system(job, StatusCode::read_failed);
    std::uint32_t c = g;
    if (g != n) {
        // The key file loops: rewind and continue behind what was read.
        if (!platform::seek(job.keyfile_handle, 0)) return fail_system(job, StatusCode::read_failed);
        std::uint32_t more = 0;
        if (!platform::read(job.keyfile_handle, pad + g, n - g, &more)) return fail_system(job, StatusCode::read_failed);
        c = g + more;
        if (c == 0) {
            std::memset(pad, 0, n);
        } else {
            // A key file shorter than the rest of the block repeats the pad's own start.
            for (std::uint32_t i = c; i < n; ++i) pad[i] = pad[i % c];
        }
    }
    if (job.status != StatusCode::ok) return job.status;
    for (std::uint32_t i = 0; i < n; ++i) job.block_buffer[i] ^= pad[i];
    return job.status;
}

}  // namespace corvane
