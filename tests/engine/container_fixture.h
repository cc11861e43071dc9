// Containers made by the tests themselves: header images, legacy headers
// byte by byte, a test-side block-stream writer (for the layouts and key pads
// the engine reads but never writes), and the engine's own encrypt, decrypt
// and verify sequences on a fresh JobContext.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "engine/cipher/jumble.h"
#include "engine/cipher/key_schedule.h"
#include "engine/cipher/keystream.h"
#include "engine/container/block_stream.h"
#include "engine/container/job_context.h"
#include "engine/container/legacy_header.h"
#include "tests/support/scratch.h"

namespace corvane::testing {

namespace fs = std::filesystem;

inline std::unique_ptr<JobContext> new_job() { return std::make_unique<JobContext>(); }

inline Bytes header_bytes(const ContainerHeader& h) { return Bytes(h.bytes.begin(), h.bytes.end()); }

inline void set_text(ContainerHeader& h, std::size_t offset, const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) store16_le(&h.bytes[offset + 2 * i], text[i]);
}

// A version-2 header that opens cleanly; tests change fields and reseal.
inline ContainerHeader valid_header(std::uint64_t file_size = 100000, std::uint32_t block_size = 65536) {
    ContainerHeader h;
    h.bytes[0] = 'K';
    h.bytes[1] = 'V';
    h.bytes[2] = 'Q';
    h.bytes[3] = 2;
    h.set_flags(FLAG_MIXED_KEYFILE);
    h.set_schedule_version(3);
    h.set_jumble_rounds(7);
    h.set_block_size(block_size);
    for (std::size_t i = 0; i < SALT_SIZE; ++i) h.salt()[i] = static_cast<std::uint8_t>(0x31 * i + 7);
    h.set_digest_rounds(4096);
    h.set_key_rounds(256);
    h.set_table_rounds(4096);
    h.set_file_size(file_size);
    h.set_write_time(0x01D9000012345678ull);
    h.set_attributes(0x20);
    set_text(h, header_offset::file_name, u"report.txt");
    set_text(h, header_offset::hint, u"the usual");
    return h;
}

inline void reseal(ContainerHeader& h) { h.set_header_sum(rot_sum(h.bytes.data(), header_offset::header_sum)); }

// --- Legacy header, byte by byte -------------------------------------------

struct LegacyFields {
    std::uint8_t version = 1;
    std::uint16_t mode_word = 256;
    bool auto_check = true;  // compute header_check; else use check as given
    std::uint16_t check = 0;
    std::uint32_t block_size = 4096;
    std::u16string hint = u"hint";
    std::u16string name = u"old.doc";
    std::int32_t hint_length = -1;  // -1: the hint's own length
    std::int32_t name_length = -1;
    std::uint64_t file_size = 0;
    platform::CalendarTime modified{2004, 7, 3, 17, 13, 45, 30, 250};
    std::uint32_t attributes = 0x21;
    std::uint8_t salt[16] = {0x10, 0x80, 0xFF, 0x7F, 0x01, 0x02, 0xFE, 0x33,
                             0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB};
    std::uint16_t key_rounds_less_256 = 100;
    std::uint16_t digest_rounds_less_4096 = 200;
};

// The 64-byte header followed by the hint and the name in the version's text form.
inline Bytes legacy_bytes(const LegacyFields& f) {
    Bytes out(LEGACY_HEADER_SIZE, 0);
    std::uint8_t* p = out.data();
    p[0] = 'K';
    p[1] = 'V';
    p[2] = 'Q';
    p[3] = f.version;
    store16_le(p + 4, f.mode_word);
    const std::uint16_t check =
        f.auto_check ? legacy_header_check(f.salt, f.key_rounds_less_256, f.digest_rounds_less_4096) : f.check;
    store16_le(p + 6, check);
    store32_le(p + 8, f.block_size);
    const auto hint_length = f.hint_length < 0 ? f.hint.size() : static_cast<std::size_t>(f.hint_length);
    const auto name_length = f.name_length < 0 ? f.name.size() : static_cast<std::size_t>(f.name_length);
    store16_le(p + 12, static_cast<std::uint16_t>(hint_length));
    store16_le(p + 14, static_cast<std::uint16_t>(name_length));
    store64_le(p + 16, f.file_size);
    const std::uint16_t cal[8] = {f.modified.year,   f.modified.month,  f.modified.day_of_week, f.modified.day,
                                  f.modified.hour,   f.modified.minute, f.modified.second,      f.modified.milliseconds};
    for (std::size_t i = 0; i < 8; ++i) store16_le(p + 24 + 2 * i, cal[i]);
    store32_le(p + 40, f.attributes);
    std::copy(f.salt, f.salt + 16, p + 44);
    store16_le(p + 60, f.key_rounds_less_256);
    store16_le(p + 62, f.digest_rounds_less_4096);
    for (const std::u16string* text : {&f.hint, &f.name}) {
        for (char16_t unit : *text) {
            out.push_back(static_cast<std::uint8_t>(unit));
            if (f.version == 1) out.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
    }
    return out;
}

// The 1024-byte image the engine reads a legacy header as (before the lowering
// of block_size and the jumble rule, which the writer applies itself).
inline ContainerHeader legacy_image(const LegacyFields& f) {
    ContainerHeader h;
    h.bytes[0] = 'K';
    h.bytes[1] = 'V';
    h.bytes[2] = 'Q';
    h.bytes[3] = f.version;
    h.set_flags(0);
    h.set_schedule_version(0);
    h.set_jumble_rounds(f.mode_word == 256 ? 0u : f.mode_word == 512 ? 7u : f.block_size >> 8);
    h.set_block_size(f.block_size);
    std::copy(f.salt, f.salt + 16, h.salt());
    h.set_digest_rounds(f.digest_rounds_less_4096 + 4096u);
    h.set_key_rounds(f.key_rounds_less_256 + 256u);
    h.set_table_rounds(f.digest_rounds_less_4096 + 4096u);
    h.set_file_size(f.file_size);
    return h;
}

// --- The pad model of a key file that is not mixed into the schedule -------

// The key file read as a stream that rewinds at its end; a block the file
// cannot fill even after the rewind repeats the block's own first pad bytes.
class PadModel {
public:
    explicit PadModel(Bytes key) : key_(std::move(key)) {}
    Bytes next(std::uint32_t n) {
        Bytes pad(n, 0);
        std::uint32_t g = take(pad.data(), n);
        if (g == n) return pad;
        pos_ = 0;
        const std::uint32_t c = g + take(pad.data() + g, n - g);
        if (c == 0) return pad;
        for (std::uint32_t i = c; i < n; ++i) pad[i] = pad[i % c];
        return pad;
    }

private:
    std::uint32_t take(std::uint8_t* out, std::uint32_t want) {
        const auto avail = static_cast<std::uint32_t>(key_.size() - pos_);
        const std::uint32_t g = std::min(want, avail);
        std::copy(key_.begin() + static_cast<std::ptrdiff_t>(pos_), key_.begin() + static_cast<std::ptrdiff_t>(pos_ + g),
                  out);
        pos_ += g;
        return g;
    }
    Bytes key_;
    std::size_t pos_ = 0;
};

// --- Test-side block-stream writer -----------------------------------------

struct StreamPlan {
    ContainerHeader header;          // key parameters, jumble_rounds, block_size, file_size
    std::uint32_t format_version = 2;  // below 2: block sums chained across blocks
    std::u16string password = u"secret";
    const fs::path* keyfile = nullptr;  // mixed when the header's flag is set, else a pad
    // Stored length of block i given the expected length; default: the expected one.
    std::function<std::uint32_t(std::uint32_t index, std::uint32_t expected)> block_length;
};

// Enciphers plain (file_size bytes, or the 32-byte short block) with the
// engine's own keystream and jumble, and returns the block records and trailer.
inline Bytes write_test_stream(const StreamPlan& plan, const Bytes& plain) {
    auto job = new_job();
    job->header = plan.header;
    const std::uint64_t file_size = plan.header.file_size();
    std::uint32_t block_size = plan.header.block_size();
    if (file_size < block_size) block_size = static_cast<std::uint32_t>(file_size);
    job->header.set_block_size(block_size);
    if (block_size < 2) job->header.set_jumble_rounds(0);

    Bytes key;
    if (plan.keyfile != nullptr) {
        key = read_file(*plan.keyfile);
        job->keyfile_handle = platform::open_read(plan.keyfile->u16string().c_str());
        EXPECT_NE(job->keyfile_handle, platform::INVALID_FILE);
    }
    const bool mixed = (plan.header.flags() & FLAG_MIXED_KEYFILE) != 0;
    PadModel pad(plan.keyfile != nullptr && !mixed ? key : Bytes{});
    EXPECT_EQ(schedule_key(*job, plan.password.c_str()), StatusCode::ok);
    EXPECT_EQ(allocate_buffers(*job, block_size, job->header.jumble_rounds() != 0, false), StatusCode::ok);

    Bytes out;
    std::uint64_t remaining = file_size;
    std::size_t done = 0;
    std::uint32_t sum = 0;
    for (std::uint32_t index = 0; remaining != 0; ++index) {
        const std::uint32_t expected = remaining >= block_size ? block_size : static_cast<std::uint32_t>(remaining);
        const std::uint32_t n = plan.block_length ? plan.block_length(index, expected) : expected;
        std::copy(plain.begin() + static_cast<std::ptrdiff_t>(done),
                  plain.begin() + static_cast<std::ptrdiff_t>(done + n), job->block_buffer);
        encipher_bytes(*job, job->block_buffer, n);
        if (job->header.jumble_rounds() != 0) {
            EXPECT_TRUE(jumble_block(*job, n));
            gather_block(job->spare_buffer, job->block_buffer, job->jumble_map, n);
            std::swap(job->block_buffer, job->spare_buffer);
        }
        if (plan.keyfile != nullptr && !mixed) {
            const Bytes p = pad.next(n);
            for (std::uint32_t i = 0; i < n; ++i) job->block_buffer[i] ^= p[i];
        }
        sum = rot_sum(job->block_buffer, n, plan.format_version < 2 ? sum : 0);
        std::uint8_t head[8];
        store32_le(head, n);
        store32_le(head + 4, sum);
        out.insert(out.end(), head, head + 8);
        out.insert(out.end(), job->block_buffer, job->block_buffer + n);
        done += n;
        remaining -= n;
    }
    std::uint8_t trailer[16];
    store32_le(trailer, 0);
    store32_le(trailer + 4, job->plain_sum);
    store32_le(trailer + 8, rol32(job->plain_sum, 1));
    store32_le(trailer + 12, ~job->plain_sum);
    out.insert(out.end(), trailer, trailer + 16);
    release_job(*job);
    return out;
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// --- The engine's own job sequences ----------------------------------------

struct EncryptOptions {
    std::uint16_t schedule_version = 3;
    bool mixed = true;  // FLAG_MIXED_KEYFILE
    std::uint32_t jumble_rounds = 7;
    std::uint32_t block_size = 4096;
    std::u16string password = u"secret";
    const fs::path* keyfile = nullptr;
    std::u16string hint = u"a hint";
    RunState run_state = RunState::running;
};

// open_source, fill_header, fixed key parameters, schedule_key, write_stream.
inline StatusCode encrypt_with_engine(const fs::path& source, const fs::path& output, const EncryptOptions& o = {}) {
    auto job = new_job();
    job->run_state.store(o.run_state);
    if (open_source(*job, source.u16string().c_str()) != StatusCode::ok) return job->status;
    fill_header(*job, o.jumble_rounds, 32768, o.hint.c_str(), source.filename().u16string().c_str());
    ContainerHeader& h = job->header;
    if (h.file_size() > o.block_size) h.set_block_size(o.block_size);
    h.set_schedule_version(o.schedule_version);
    h.set_flags(static_cast<std::uint16_t>((h.flags() & FLAG_SHORT_FILE) | (o.mixed ? FLAG_MIXED_KEYFILE : 0)));
    for (std::size_t i = 0; i < SALT_SIZE; ++i) h.salt()[i] = static_cast<std::uint8_t>(0x5A ^ (i * 13));
    h.set_digest_rounds(4096);
    h.set_key_rounds(256);
    h.set_table_rounds(4096);
    for (std::size_t i = 0; i + 1 < SHORT_FILE_SIZE; ++i) job->short_buffer[i] = static_cast<std::uint8_t>(0xC3 + i);
    if (o.keyfile != nullptr) job->keyfile_handle = platform::open_read(o.keyfile->u16string().c_str());
    job->output_handle = platform::create_write(output.u16string().c_str());
    EXPECT_NE(job->output_handle, platform::INVALID_FILE);
    StatusCode status = schedule_key(*job, o.password.c_str());
    if (status == StatusCode::ok) status = write_stream(*job);
    release_job(*job);
    return status;
}

struct DecryptResult {
    StatusCode status = StatusCode::ok;
    Bytes plain;
    ContainerHeader header;
};

inline DecryptResult decrypt_with_engine(const fs::path& container, const fs::path& output,
                                         const std::u16string& password = u"secret", const fs::path* keyfile = nullptr,
                                         RunState run_state = RunState::running) {
    auto job = new_job();
    job->run_state.store(run_state);
    DecryptResult r;
    r.status = open_container(*job, container.u16string().c_str());
    if (r.status == StatusCode::ok) {
        if (keyfile != nullptr) job->keyfile_handle = platform::open_read(keyfile->u16string().c_str());
        job->output_handle = platform::create_write(output.u16string().c_str());
        EXPECT_NE(job->output_handle, platform::INVALID_FILE);
        r.status = schedule_key(*job, password.c_str());
        if (r.status == StatusCode::ok) r.status = read_stream(*job);
    }
    release_job(*job);
    r.header = job->header;
    if (fs::exists(output)) r.plain = read_file(output);
    return r;
}

inline StatusCode verify_with_engine(const fs::path& container, RunState run_state = RunState::running) {
    auto job = new_job();
    job->run_state.store(run_state);
    StatusCode status = open_container(*job, container.u16string().c_str());
    if (status == StatusCode::ok) status = verify_stream(*job);
    release_job(*job);
    return status;
}

inline std::uint64_t block_count(std::uint64_t file_size, std::uint32_t block_size) {
    return block_size == 0 ? 0 : (file_size + block_size - 1) / block_size;
}

}  // namespace corvane::testing
