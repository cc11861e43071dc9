// The 64-byte header of format versions 0 and 1, read into the 1024-byte image.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/engine/container_fixture.h"

namespace corvane {
namespace {

using namespace corvane::testing;

TEST(LegacyHeaderCheck, SaltBytesCountAsSigned) {
    const struct {
        const char* what;
        std::size_t salt_pos;
        std::uint8_t salt_byte;
        std::uint16_t key_less, digest_less;
        std::uint16_t expected;
    } cases[] = {
        {"all zero", 0, 0x00, 0, 0, 0x0000},
        // -1 becomes 0xFFFF, which every later rotation keeps; 255 would give 0x00FF.
        {"0xFF first", 0, 0xFF, 0, 0, 0xFFFF},
        {"0xFF last", 15, 0xFF, 0, 0, 0xFFFF},
        {"0x80 last", 15, 0x80, 0, 0, 0xFF01},  // -128 = 0xFF80, rotated once
        {"0x7F last", 15, 0x7F, 0, 0, 0x00FE},
        // Sixteen rotations bring a value back where it was.
        {"0x01 first", 0, 0x01, 0, 0, 0x0001},
        {"0x01 at 8", 8, 0x01, 0, 0, 0x8000},  // added after the first rotation, so 15 follow
        {"rounds only", 0, 0x00, 1, 5, 0x0006},
        {"digest wraps", 0, 0x00, 0, 0xFFFF, 0xFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint8_t salt[16] = {};
        salt[c.salt_pos] = c.salt_byte;
        EXPECT_EQ(legacy_header_check(salt, c.key_less, c.digest_less), c.expected);
    }
}

struct Opened {
    StatusCode status;
    std::unique_ptr<JobContext> job;
};

Opened open_legacy(const fs::path& dir, const Bytes& bytes) {
    const fs::path file = dir / "old.ptxt";
    write_file(file, bytes);
    Opened out{StatusCode::ok, new_job()};
    out.status = open_container(*out.job, file.u16string().c_str());
    return out;
}

LegacyFields fields(std::uint8_t version) {
    LegacyFields f;
    f.version = version;
    f.file_size = 1000000;
    f.block_size = 65536;
    return f;
}

TEST(LegacyImport, Codes) {
    const fs::path dir = scratch_dir();
    using FieldEdit = void (*)(LegacyFields&);
    using ByteEdit = void (*)(Bytes&);
    const struct {
        const char* what;
        FieldEdit field;
        ByteEdit bytes;
        StatusCode expected;
    } cases[] = {
        {"valid", nullptr, nullptr, StatusCode::ok},
        {"check 0 with any salt",
         [](LegacyFields& f) {
             f.auto_check = false;
             f.check = 0;
         },
         nullptr, StatusCode::ok},
        {"check off by one",
         [](LegacyFields& f) {
             f.auto_check = false;
             f.check = static_cast<std::uint16_t>(
                 legacy_header_check(f.salt, f.key_rounds_less_256, f.digest_rounds_less_4096) + 1);
         },
         nullptr, StatusCode::damaged},
        {"salt byte changed under the check", nullptr, [](Bytes& b) { b[50] ^= 0x10; }, StatusCode::damaged},
        {"mode 257", [](LegacyFields& f) { f.mode_word = 257; }, nullptr, StatusCode::not_container},
        {"mode 0", [](LegacyFields& f) { f.mode_word = 0; }, nullptr, StatusCode::not_container},
        {"mode 512", [](LegacyFields& f) { f.mode_word = 512; }, nullptr, StatusCode::ok},
        {"mode 528", [](LegacyFields& f) { f.mode_word = 528; }, nullptr, StatusCode::ok},
        // The check is tested before the mode word.
        {"bad check and mode 257",
         [](LegacyFields& f) {
             f.mode_word = 257;
             f.auto_check = false;
             f.check = 1;
         },
         nullptr, StatusCode::damaged},
        {"63 bytes", nullptr, [](Bytes& b) { b.resize(63); }, StatusCode::not_container},
        {"header only, texts missing", nullptr, [](Bytes& b) { b.resize(64); }, StatusCode::read_failed},
        {"name cut short", nullptr, [](Bytes& b) { b.pop_back(); }, StatusCode::read_failed},
        {"no texts",
         [](LegacyFields& f) {
             f.hint.clear();
             f.name.clear();
         },
         nullptr, StatusCode::ok},
    };
    for (std::uint8_t version : {std::uint8_t{0}, std::uint8_t{1}}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << "v" << int{version} << " " << c.what);
            LegacyFields f = fields(version);
            if (c.field != nullptr) c.field(f);
            Bytes bytes = legacy_bytes(f);
            if (c.bytes != nullptr) c.bytes(bytes);
            auto r = open_legacy(dir, bytes);
            EXPECT_EQ(r.status, c.expected);
            EXPECT_EQ(r.job->format_version, version);
            release_job(*r.job);
        }
    }
}

TEST(LegacyImport, MapsEveryField) {
    const fs::path dir = scratch_dir();
    const struct {
        std::uint16_t mode_word;
        std::uint32_t block_size;
        std::uint32_t rounds;
    } modes[] = {{256, 65536, 0}, {512, 65536, 7}, {528, 65536, 256}, {528, 4096, 16}};
    for (std::uint8_t version : {std::uint8_t{0}, std::uint8_t{1}}) {
        for (const auto& m : modes) {
            SCOPED_TRACE(::testing::Message() << "v" << int{version} << " mode " << m.mode_word);
            LegacyFields f = fields(version);
            f.mode_word = m.mode_word;
            f.block_size = m.block_size;
            const Bytes marker = {0x11, 0x22, 0x33};
            auto r = open_legacy(dir, concat(legacy_bytes(f), marker));
            ASSERT_EQ(r.status, StatusCode::ok);
            const ContainerHeader& h = r.job->header;
            EXPECT_EQ(Bytes(h.bytes.begin(), h.bytes.begin() + 4), (Bytes{'K', 'V', 'Q', version}));
            EXPECT_EQ(h.flags(), 0u);
            EXPECT_EQ(h.schedule_version(), 0u);
            EXPECT_EQ(h.jumble_rounds(), m.rounds);
            EXPECT_EQ(h.block_size(), m.block_size);
            EXPECT_EQ(Bytes(h.salt(), h.salt() + 16), Bytes(f.salt, f.salt + 16));
            EXPECT_EQ(h.digest_rounds(), 4096u + 200u);
            EXPECT_EQ(h.key_rounds(), 256u + 100u);
            EXPECT_EQ(h.table_rounds(), 4096u + 200u);
            EXPECT_EQ(h.file_size(), 1000000u);
            EXPECT_EQ(h.attributes(), 0x21u);
            std::uint64_t expected_time = 0;
            ASSERT_TRUE(platform::calendar_to_filetime(f.modified, &expected_time));
            EXPECT_EQ(h.write_time(), expected_time);
            char16_t name[256], hint[128];
            header_file_name(h, name);
            header_hint(h, hint);
            EXPECT_EQ(std::u16string(name), u"old.doc");
            EXPECT_EQ(std::u16string(hint), u"hint");
            EXPECT_EQ(h.header_sum(), rot_sum(h.bytes.data(), 1020));
            for (std::size_t i = 32; i < 64; ++i) ASSERT_EQ(h.bytes[i], 0) << i;
            for (std::size_t i = 864; i < 1020; ++i) ASSERT_EQ(h.bytes[i], 0) << i;

            // The file stands at the first block record, right after the name.
            std::uint8_t next[3] = {};
            std::uint32_t got = 0;
            ASSERT_TRUE(platform::read(r.job->source_handle, next, 3, &got));
            EXPECT_EQ(Bytes(next, next + got), marker);
            release_job(*r.job);
        }
    }
}

TEST(LegacyImport, Texts) {
    const fs::path dir = scratch_dir();
    const struct {
        std::uint8_t version;
        std::u16string hint, name;
        std::u16string expected_hint, expected_name;
    } cases[] = {
        // One byte per character, widened: 0xE9 0x74 0xE9.
        {0, u"", u"\u00e9t\u00e9", u"", u"\u00e9t\u00e9"},
        {0, u"\u00ff\u0080", u"x", u"\u00ff\u0080", u"x"},
        {1, u"\u4e2d\u6587", u"\U0001F600.txt", u"\u4e2d\u6587", u"\U0001F600.txt"},
        {1, std::u16string(127, u'h'), std::u16string(255, u'n'), std::u16string(127, u'h'),
         std::u16string(255, u'n')},
        {0, std::u16string(127, u'h'), std::u16string(255, u'n'), std::u16string(127, u'h'),
         std::u16string(255, u'n')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "v" << int{c.version} << " name of " << c.name.size());
        LegacyFields f = fields(c.version);
        f.hint = c.hint;
        f.name = c.name;
        auto r = open_legacy(dir, legacy_bytes(f));
        ASSERT_EQ(r.status, StatusCode::ok);
        char16_t name[256], hint[128];
        header_file_name(r.job->header, name);
        header_hint(r.job->header, hint);
        EXPECT_EQ(std::u16string(hint), c.expected_hint);
        EXPECT_EQ(std::u16string(name), c.expected_name);
        release_job(*r.job);
    }
}

TEST(LegacyImport, OverlongLengthsReadOnlyTheCappedCount) {
    const fs::path dir = scratch_dir();
    for (std::uint8_t version : {std::uint8_t{0}, std::uint8_t{1}}) {
        SCOPED_TRACE(int{version});
        // A hint of 200 characters stored in full: only 127 are read, and the
        // next three are taken as the name.
        LegacyFields f = fields(version);
        std::u16string hint;
        for (int i = 0; i < 200; ++i) hint += static_cast<char16_t>(u'A' + i % 26);
        f.hint = hint;
        f.name = u"abc";
        auto r = open_legacy(dir, legacy_bytes(f));
        ASSERT_EQ(r.status, StatusCode::ok);
        char16_t got_name[256], got_hint[128];
        header_file_name(r.job->header, got_name);
        header_hint(r.job->header, got_hint);
        EXPECT_EQ(std::u16string(got_hint), hint.substr(0, 127));
        EXPECT_EQ(std::u16string(got_name), hint.substr(127, 3));
        // What follows is then no block stream.
        const StatusCode verified = verify_stream(*r.job);
        EXPECT_TRUE(verified == StatusCode::damaged || verified == StatusCode::truncated) << to_int(verified);
        release_job(*r.job);

        // A name length above 255 reads 255 characters.
        LegacyFields g = fields(version);
        g.name = std::u16string(300, u'z');
        auto s = open_legacy(dir, legacy_bytes(g));
        ASSERT_EQ(s.status, StatusCode::ok);
        header_file_name(s.job->header, got_name);
        EXPECT_EQ(std::u16string(got_name), std::u16string(255, u'z'));
        release_job(*s.job);
    }
}

TEST(LegacyImport, OneByteFileGetsOneByteBlockAndNoJumble) {
    const fs::path dir = scratch_dir();
    for (std::uint16_t mode : {std::uint16_t{512}, std::uint16_t{528}}) {
        SCOPED_TRACE(mode);
        LegacyFields f = fields(0);
        f.mode_word = mode;
        f.file_size = 1;
        f.block_size = 4096;
        auto r = open_legacy(dir, legacy_bytes(f));
        ASSERT_EQ(r.status, StatusCode::ok);
        EXPECT_EQ(r.job->header.block_size(), 1u);
        EXPECT_EQ(r.job->header.jumble_rounds(), 0u);
        release_job(*r.job);
    }
}

TEST(LegacyImport, BlockLimitsApplyAsForVersion2) {
    const fs::path dir = scratch_dir();
    const struct {
        std::uint32_t block_size;
        std::uint64_t file_size;
        StatusCode expected;
    } cases[] = {
        {1000, 900, StatusCode::ok},          {1000, 1001, StatusCode::damaged},
        {50331649, 1ull << 40, StatusCode::unsupported}, {2048, 1ull << 40, StatusCode::ok},
        {0, 5, StatusCode::damaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.block_size);
        LegacyFields f = fields(1);
        f.block_size = c.block_size;
        f.file_size = c.file_size;
        auto r = open_legacy(dir, legacy_bytes(f));
        EXPECT_EQ(r.status, c.expected);
        release_job(*r.job);
    }
}

TEST(LegacyImport, ImpossibleDateGivesTimeZero) {
    const fs::path dir = scratch_dir();
    LegacyFields f = fields(1);
    f.modified = {2023, 2, 0, 30, 0, 0, 0, 0};  // February 30th
    auto r = open_legacy(dir, legacy_bytes(f));
    ASSERT_EQ(r.status, StatusCode::ok);
    EXPECT_EQ(r.job->header.write_time(), 0u);
    release_job(*r.job);
}

}  // namespace
}  // namespace corvane
