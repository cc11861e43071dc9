// Hostile containers, byte by byte, with the status each reader must give:
// files that stop inside a header, headers at and beyond every limit, legacy
// headers with impossible texts and modes, and block records that lie about
// their length. The fuzz targets' seeds (our own writer, every variant) must
// round-trip, and damaging them anywhere must end in a status, never a crash.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/cipher/key_schedule.h"
#include "engine/container/block_stream.h"
#include "engine/container/job_context.h"
#include "engine/container/legacy_header.h"
#include "tests/fuzz/seed_containers.h"
#include "tests/support/scratch.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::u16;

constexpr StatusCode OK = StatusCode::ok;
constexpr StatusCode NOT_CONTAINER = StatusCode::not_container;
constexpr StatusCode UNSUPPORTED = StatusCode::unsupported;
constexpr StatusCode DAMAGED = StatusCode::damaged;
constexpr StatusCode TRUNCATED = StatusCode::truncated;
constexpr StatusCode READ_FAILED = StatusCode::read_failed;
constexpr StatusCode WRONG_KEY = StatusCode::wrong_key;

Bytes from_hex(const char* hex) {
    Bytes out;
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (const char* p = hex; p[0] != 0; ++p) {
        if (p[0] == ' ') continue;
        out.push_back(static_cast<std::uint8_t>(nibble(p[0]) * 16 + nibble(p[1])));
        ++p;
    }
    return out;
}

// --- The readers on a file --------------------------------------------------

struct Outcome {
    StatusCode open = OK;
    StatusCode verify = OK;  // only when open gave OK
    StatusCode read = OK;    // only when open gave OK
    Bytes restored;
};

class Readers {
public:
    Readers() : dir_(testing::scratch_dir()) { testing::write_file(dir_ / "key.bin", fuzz::seed_keyfile()); }

    std::u16string keyfile() const { return u16(dir_ / "key.bin"); }

    Outcome run(const Bytes& container, bool with_keyfile = true) {
        const fs::path input = dir_ / "input.qvk";
        const fs::path output = dir_ / "output.bin";
        testing::write_file(input, container);
        Outcome o;
        {
            auto job = std::make_unique<JobContext>();
            job->run_state.store(RunState::running);
            o.open = open_container(*job, u16(input).c_str());
            if (o.open == OK) o.verify = verify_stream(*job);
            release_job(*job);
            expect_released(*job);
        }
        if (o.open != OK) return o;
        {
            auto job = std::make_unique<JobContext>();
            job->run_state.store(RunState::running);
            EXPECT_EQ(open_container(*job, u16(input).c_str()), OK);
            if (with_keyfile) job->keyfile_handle = platform::open_read(keyfile().c_str());
            job->output_handle = platform::create_write(u16(output).c_str());
            EXPECT_NE(job->output_handle, platform::INVALID_FILE);
            o.read = schedule_key(*job, fuzz::SEED_PASSWORD);
            if (o.read == OK) o.read = read_stream(*job);
            release_job(*job);
            expect_released(*job);
        }
        o.restored = testing::read_file(output);
        return o;
    }

private:
    static void expect_released(const JobContext& job) {
        EXPECT_EQ(job.source_handle, platform::INVALID_FILE);
        EXPECT_EQ(job.output_handle, platform::INVALID_FILE);
        EXPECT_EQ(job.keyfile_handle, platform::INVALID_FILE);
        EXPECT_EQ(job.buffer_size, 0u);
        EXPECT_EQ(job.block_buffer, nullptr);
    }
    fs::path dir_;
};

// --- Version-2 headers as a handful of fields over a valid image ------------

struct Field {
    std::size_t offset;
    std::size_t width;  // 1, 2, 4 or 8 bytes
    std::uint64_t value;
};

// Magic, version 2, mixed key file, variant 3, Stream, the smallest round
// counts; everything else zero. Fields are applied, then the sum is sealed.
Bytes v2_header(std::initializer_list<Field> fields, bool seal = true) {
    ContainerHeader h;
    h.bytes[0] = 'K';
    h.bytes[1] = 'V';
    h.bytes[2] = 'Q';
    h.bytes[3] = 2;
    h.set_flags(FLAG_MIXED_KEYFILE);
    h.set_schedule_version(3);
    h.set_digest_rounds(4096);
    h.set_key_rounds(256);
    h.set_table_rounds(4096);
    for (const Field& f : fields) {
        for (std::size_t i = 0; i < f.width; ++i) h.bytes[f.offset + i] = static_cast<std::uint8_t>(f.value >> (8 * i));
    }
    if (seal) h.set_header_sum(rot_sum(h.bytes.data(), header_offset::header_sum));
    return Bytes(h.bytes.begin(), h.bytes.end());
}

constexpr std::size_t FLAGS = header_offset::flags;
constexpr std::size_t SCHEDULE = header_offset::schedule_version;
constexpr std::size_t ROUNDS = header_offset::jumble_rounds;
constexpr std::size_t BLOCK = header_offset::block_size;
constexpr std::size_t DIGEST = header_offset::digest_rounds;
constexpr std::size_t SIZE = header_offset::file_size;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A block record whose sum is right for its bytes, whatever its length says.
Bytes record(std::uint32_t length, const Bytes& stored) {
    Bytes head(8);
    store32_le(head.data(), length);
    store32_le(head.data() + 4, rot_sum(stored.data(), stored.size()));
    return head + stored;
}

// The first size - drop bytes.
Bytes cut(Bytes bytes, std::size_t drop) {
    bytes.erase(bytes.end() - static_cast<std::ptrdiff_t>(drop), bytes.end());
    return bytes;
}

const Bytes EMPTY_TRAILER = from_hex("00000000 00000000 00000000 ffffffff");

struct HostileCase {
    const char* name;
    Bytes input;
    StatusCode open;
    StatusCode verify;  // when open gives OK
    StatusCode read;    // when open gives OK
};

// Files that are no container, or stop inside the header.
std::vector<HostileCase> not_containers() {
    return {
        {"empty file", {}, NOT_CONTAINER, OK, OK},
        {"two bytes", from_hex("4b56"), NOT_CONTAINER, OK, OK},
        {"magic alone", from_hex("4b5651"), NOT_CONTAINER, OK, OK},
        {"version 3", from_hex("4b565103"), NOT_CONTAINER, OK, OK},
        {"version 255 with a full header", v2_header({{3, 1, 255}}), NOT_CONTAINER, OK, OK},
        {"version 2 cut at 1023 bytes", cut(v2_header({}), 1), NOT_CONTAINER, OK, OK},
        {"lower-case magic", from_hex("6b767102") + Bytes(1020, 0), NOT_CONTAINER, OK, OK},
    };
}

// Version-2 headers at and beyond the limits, and streams that lie.
std::vector<HostileCase> v2_cases() {
    const Bytes three = from_hex("616263");
    return {
        {"header sum off by one", v2_header({{1020, 4, 1}}, false), DAMAGED, OK, OK},
        {"digest rounds 4095", v2_header({{DIGEST, 4, 4095}}), DAMAGED, OK, OK},
        {"digest rounds 1048577", v2_header({{DIGEST, 4, 1048577}}), UNSUPPORTED, OK, OK},
        {"flags 4", v2_header({{FLAGS, 2, 4}}), UNSUPPORTED, OK, OK},
        {"schedule variant 4", v2_header({{SCHEDULE, 2, 4}}), UNSUPPORTED, OK, OK},
        {"jumble rounds 2^20 + 1", v2_header({{ROUNDS, 4, 1048577}, {SIZE, 8, 1ull << 33}, {BLOCK, 4, 65536}}),
         UNSUPPORTED, OK, OK},
        {"block size 48 MiB + 1", v2_header({{BLOCK, 4, 50331649}, {SIZE, 8, 1ull << 40}}), UNSUPPORTED, OK, OK},
        {"block size 0 for a file of 4 GiB", v2_header({{SIZE, 8, 1ull << 32}}), DAMAGED, OK, OK},
        {"block size 1000 for 1001 bytes", v2_header({{BLOCK, 4, 1000}, {SIZE, 8, 1001}}), DAMAGED, OK, OK},
        {"short flag with 31 bytes", v2_header({{FLAGS, 2, 3}, {SIZE, 8, 31}, {BLOCK, 4, 31}}), DAMAGED, OK, OK},
        {"short flag with 33 bytes", v2_header({{FLAGS, 2, 3}, {SIZE, 8, 33}, {BLOCK, 4, 33}}), UNSUPPORTED, OK, OK},
        {"short flag with 4 GiB", v2_header({{FLAGS, 2, 3}, {SIZE, 8, 1ull << 32}, {BLOCK, 4, 65536}}), DAMAGED, OK,
         OK},
        // Opens (the limits hold); the largest buffers are allocated, then the
        // stream is missing.
        {"2^40 bytes in 48 MiB blocks, nothing behind the header",
         v2_header({{SIZE, 8, 1ull << 40}, {BLOCK, 4, 50331648}}), OK, TRUNCATED, TRUNCATED},
        {"empty file, no trailer", v2_header({}), OK, TRUNCATED, TRUNCATED},
        {"empty file, seven trailer bytes", v2_header({}) + Bytes(7, 0), OK, TRUNCATED, TRUNCATED},
        {"empty file, trailer word 0 not zero", v2_header({}) + from_hex("01000000 00000000"), OK, DAMAGED, DAMAGED},
        // Eight bytes carry the sum (zero here), which decryption accepts; the
        // test of variant 3 needs the whole self-checking trailer.
        {"empty file, eight trailer bytes", v2_header({}) + Bytes(8, 0), OK, DAMAGED, OK},
        {"empty file, whole trailer", v2_header({}) + EMPTY_TRAILER, OK, OK, OK},
        {"record length 0xffffffff", v2_header({{SIZE, 8, 3}, {BLOCK, 4, 3}}) + record(0xffffffffu, three), OK, DAMAGED,
         DAMAGED},
        {"record length 2 of 3", v2_header({{SIZE, 8, 3}, {BLOCK, 4, 3}}) + record(2, from_hex("6162")), OK, DAMAGED,
         DAMAGED},
        {"record length 0", v2_header({{SIZE, 8, 3}, {BLOCK, 4, 3}}) + record(0, {}), OK, DAMAGED, DAMAGED},
        {"record head of 7 bytes", v2_header({{SIZE, 8, 3}, {BLOCK, 4, 3}}) + from_hex("03000000 000000"), OK, TRUNCATED,
         TRUNCATED},
        {"block cut short", v2_header({{SIZE, 8, 3}, {BLOCK, 4, 3}}) + cut(record(3, three), 1),
         OK, TRUNCATED, TRUNCATED},
        {"block sum wrong", v2_header({{SIZE, 8, 3}, {BLOCK, 4, 3}}) + from_hex("03000000 00000000 616263"), OK, DAMAGED,
         DAMAGED},
        // Well formed but made with another key: the trailer's sum cannot match.
        {"three bytes under another key", v2_header({{SIZE, 8, 3}, {BLOCK, 4, 3}}) + record(3, three) +
                                               from_hex("00000000 01000000 02000000 feffffff"),
         OK, OK, WRONG_KEY},
        {"three bytes, trailer not self-checking", v2_header({{SIZE, 8, 3}, {BLOCK, 4, 3}}) + record(3, three) +
                                                       from_hex("00000000 01000000 02000000 00000000"),
         OK, DAMAGED, DAMAGED},
    };
}

// A legacy header: the 64 bytes as fields, the texts as given.
struct Legacy {
    std::uint8_t version = 1;
    std::uint16_t mode = 256;
    std::uint16_t check = 0;  // 0: not checked
    std::uint32_t block = 4096;
    std::uint16_t hint_length = 0;
    std::uint16_t name_length = 0;
    std::uint64_t size = 0;
};

Bytes legacy(const Legacy& l, const Bytes& tail = {}) {
    Bytes out(LEGACY_HEADER_SIZE, 0);
    out[0] = 'K';
    out[1] = 'V';
    out[2] = 'Q';
    out[3] = l.version;
    store16_le(&out[4], l.mode);
    store16_le(&out[6], l.check);
    store32_le(&out[8], l.block);
    store16_le(&out[12], l.hint_length);
    store16_le(&out[14], l.name_length);
    store64_le(&out[16], l.size);
    return out + tail;
}

std::vector<HostileCase> legacy_cases() {
    const Bytes a = from_hex("61");
    return {
        {"legacy header of 63 bytes", cut(legacy({}), 1), NOT_CONTAINER, OK, OK},
        {"legacy mode 257", legacy({.mode = 257}), NOT_CONTAINER, OK, OK},
        {"legacy mode 0", legacy({.version = 0, .mode = 0}), NOT_CONTAINER, OK, OK},
        {"legacy header check wrong", legacy({.check = 0x1234}), DAMAGED, OK, OK},
        {"legacy texts of 65535 characters, none there", legacy({.hint_length = 0xffff, .name_length = 0xffff}),
         READ_FAILED, OK, OK},
        {"legacy version 0 name cut short", legacy({.version = 0, .name_length = 4}, from_hex("414243")), READ_FAILED,
         OK, OK},
        {"legacy version 1 hint of an odd byte count", legacy({.hint_length = 2}, from_hex("410042")), READ_FAILED, OK,
         OK},
        {"legacy mode 528 with block size 2^32 - 1", legacy({.mode = 528, .block = 0xffffffffu, .size = 1ull << 40}),
         UNSUPPORTED, OK, OK},
        {"legacy mode 528 rounds above 2^20", legacy({.mode = 528, .block = 0x10000100u, .size = 1ull << 40}),
         UNSUPPORTED, OK, OK},
        {"legacy block size 0 for 5 bytes", legacy({.block = 0, .size = 5}), DAMAGED, OK, OK},
        {"legacy empty file, eight trailer bytes", legacy({}, Bytes(8, 0)), OK, OK, OK},
        {"legacy record length 0", legacy({.size = 1}, record(0, {}) + EMPTY_TRAILER), OK, DAMAGED, DAMAGED},
        {"legacy record longer than expected", legacy({.size = 1}, record(2, from_hex("6162")) + EMPTY_TRAILER), OK,
         DAMAGED, DAMAGED},
        {"legacy 1-byte file, block lowered to 1, Jumble dropped",
         legacy({.mode = 512, .size = 1}, record(1, a) + from_hex("00000000 00000000")), OK, OK, WRONG_KEY},
    };
}

class HostileInput : public ::testing::Test {
protected:
    void check(const std::vector<HostileCase>& cases) {
        Readers readers;
        for (const HostileCase& c : cases) {
            SCOPED_TRACE(c.name);
            const Outcome o = readers.run(c.input);
            EXPECT_EQ(to_int(o.open), to_int(c.open));
            if (c.open != OK) continue;
            EXPECT_EQ(to_int(o.verify), to_int(c.verify));
            EXPECT_EQ(to_int(o.read), to_int(c.read));
        }
    }
};

TEST_F(HostileInput, FilesThatAreNoContainer) { check(not_containers()); }
TEST_F(HostileInput, VersionTwoHeadersAndStreams) { check(v2_cases()); }
TEST_F(HostileInput, LegacyHeadersAndStreams) { check(legacy_cases()); }

// The seeds the fuzz targets start from: every one must decrypt to its
// plaintext with the fixed password and key file, or, when made without the
// key file, be told apart as a wrong key.
TEST_F(HostileInput, SeedContainersRoundTrip) {
    Readers readers;
    const std::u16string key = readers.keyfile();
    int index = 0;
    for (const fuzz::SeedPlan& plan : fuzz::seed_plans()) {
        SCOPED_TRACE("seed " + std::to_string(index++));
        const Bytes container = fuzz::make_container(plan, key.c_str());
        ASSERT_FALSE(container.empty());
        const Outcome o = readers.run(container);
        ASSERT_EQ(to_int(o.open), 0);
        EXPECT_EQ(to_int(o.verify), 0);
        if (plan.use_keyfile) {
            EXPECT_EQ(to_int(o.read), 0);
            EXPECT_EQ(o.restored, plan.plain);
        } else if (plan.format_version == 2) {
            EXPECT_EQ(to_int(o.read), to_int(WRONG_KEY));
            const Outcome without = readers.run(container, false);
            EXPECT_EQ(to_int(without.read), 0);
            EXPECT_EQ(without.restored, plan.plain);
        }
    }
}

// Damage anywhere in a seed: every reader ends in one of its statuses.
TEST_F(HostileInput, DamagedSeedsEndInAStatus) {
    Readers readers;
    const std::u16string key = readers.keyfile();
    const std::set<StatusCode> open_codes = {OK, NOT_CONTAINER, UNSUPPORTED, DAMAGED, READ_FAILED};
    const std::set<StatusCode> verify_codes = {OK, DAMAGED, TRUNCATED};
    const std::set<StatusCode> read_codes = {OK, DAMAGED, TRUNCATED, WRONG_KEY};
    const std::vector<fuzz::SeedPlan> plans = fuzz::seed_plans();
    // A new-layout Jumble container, a short source and a legacy one with a key pad.
    for (std::size_t pick : {std::size_t{22}, std::size_t{1}, plans.size() - 1}) {
        const Bytes container = fuzz::make_container(plans[pick], key.c_str());
        for (std::size_t at = 0; at < container.size(); at += 53) {
            SCOPED_TRACE("seed " + std::to_string(pick) + ", byte " + std::to_string(at));
            Bytes damaged = container;
            damaged[at] ^= 0x41;
            const Outcome o = readers.run(damaged);
            EXPECT_EQ(open_codes.count(o.open), 1u) << to_int(o.open);
            if (o.open != OK) continue;
            EXPECT_EQ(verify_codes.count(o.verify), 1u) << to_int(o.verify);
            EXPECT_EQ(read_codes.count(o.read), 1u) << to_int(o.read);
            // What decrypts cleanly despite the damage is the plaintext: the
            // byte flipped was one nothing checks and nothing uses.
            if (o.read == OK) {
                EXPECT_EQ(o.restored, plans[pick].plain);
            }
        }
    }
}

// A small container whose header asks for the largest blocks: the readers'
// buffers stay within what the file itself could hold, and the status is the
// one the missing bytes give.
TEST_F(HostileInput, ASmallContainerAskingForHugeBlocksCostsOnlyItsOwnSize) {
    constexpr std::uint32_t HUGE_BLOCK = MAX_BLOCK_SIZE;
    const Bytes stored = testing::pattern_bytes(100000, 9);
    const Bytes container =
        v2_header({{ROUNDS, 4, 7}, {BLOCK, 4, HUGE_BLOCK}, {SIZE, 8, HUGE_BLOCK}}) + record(HUGE_BLOCK, stored);
    const fs::path path = testing::scratch_dir() / "huge.qvk";
    testing::write_file(path, container);

    for (const bool decrypting : {false, true}) {
        SCOPED_TRACE(decrypting ? "read_stream" : "verify_stream");
        auto job = std::make_unique<JobContext>();
        job->run_state.store(RunState::running);
        ASSERT_EQ(open_container(*job, u16(path).c_str()), OK);
        EXPECT_EQ(job->header.block_size(), HUGE_BLOCK);
        StatusCode status = OK;
        if (decrypting) {
            job->output_handle = platform::create_write(u16(path.parent_path() / "out.bin").c_str());
            status = schedule_key(*job, u"pw");
            if (status == OK) status = read_stream(*job);
        } else {
            status = verify_stream(*job);
        }
        EXPECT_EQ(to_int(status), to_int(TRUNCATED));
        EXPECT_LE(job->buffer_size, container.size());
        EXPECT_GT(job->buffer_size, 0u);
        release_job(*job);
    }
}

}  // namespace
}  // namespace corvane
