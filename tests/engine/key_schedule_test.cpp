// The key schedule: the password's UTF-8 form, every variant against a
// step-by-step reference, and the properties of the password cap and the key
// file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/cipher/key_schedule.h"
#include "tests/support/scratch.h"

namespace corvane {
namespace {

using testing::Bytes;
using Units = std::vector<char16_t>;

Units units(std::initializer_list<char16_t> list) {
    Units u(list);
    u.push_back(0);
    return u;
}

Units units(const std::u16string& s) {
    Units u(s.begin(), s.end());
    u.push_back(0);
    return u;
}

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// --- to_utf8 -----------------------------------------------------------------

TEST(ToUtf8, ConvertsEveryKindOfUnit) {
    struct Case {
        const char* name;
        Units source;
        Bytes expected;  // without the final zero byte
    };
    const Case cases[] = {
        {"empty", units({}), {}},
        {"ascii", units(u"Ab~"), {0x41, 0x62, 0x7E}},
        {"two-byte edges", units({0x80, 0x7FF}), {0xC2, 0x80, 0xDF, 0xBF}},
        {"three-byte edges", units({0x800, 0xD7FF, 0xE000, 0xFFFF}),
         {0xE0, 0xA0, 0x80, 0xED, 0x9F, 0xBF, 0xEE, 0x80, 0x80, 0xEF, 0xBF, 0xBF}},
        {"euro", units(u"\u20AC"), {0xE2, 0x82, 0xAC}},
        {"surrogate pair", units({0xD834, 0xDD1E}), {0xF0, 0x9D, 0x84, 0x9E}},
        {"highest pair", units({0xDBFF, 0xDFFF}), {0xF4, 0x8F, 0xBF, 0xBF}},
        {"lone low vanishes", units({'a', 0xDC00, 'b'}), {0x61, 0x62}},
        {"lone high at the end", units({'a', 0xD800}), {0x61}},
        {"high pairs across characters", units({0xD834, 'x', 0xE9, 0xDD1E}),
         {0x78, 0xC3, 0xA9, 0xF0, 0x9D, 0x84, 0x9E}},
        {"later high replaces", units({0xD800, 0xD834, 0xDD1E}), {0xF0, 0x9D, 0x84, 0x9E}},
        {"pair clears the pending high", units({0xD834, 0xDD1E, 0xDD1E}), {0xF0, 0x9D, 0x84, 0x9E}},
    };
    for (const Case& c : cases) {
        Bytes target(3 * c.source.size() + 1, 0xAA);
        const std::size_t written = to_utf8(c.source.data(), target.data());
        Bytes expected = c.expected;
        expected.push_back(0);
        ASSERT_EQ(written, expected.size()) << c.name;
        EXPECT_EQ(Bytes(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(written)), expected) << c.name;
    }
}

// --- The reference, straight from the description --------------------------

struct Reference {
    std::uint32_t mask = 0, stir_j = 0, swap_word = 0, ks_i = 0, ks_j = 0, perm_i = 0, perm_j = 0;
    std::vector<std::uint32_t> key_table = std::vector<std::uint32_t>(1024, 0);
    std::vector<std::uint32_t> perm_table = std::vector<std::uint32_t>(1024, 0);
    std::ptrdiff_t swap_slot = -1;  // index into perm_table

    void key_pass(const std::uint8_t* data, std::size_t length, std::uint32_t count) {
        if (length == 0) return;
        for (std::uint32_t m = 0; m < count; ++m) {
            const std::uint32_t i = m & mask;
            stir_j = (data[m % length] + key_table[i] + stir_j) & mask;
            swap_word = key_table[i];
            key_table[i] = key_table[stir_j];
            key_table[stir_j] = swap_word;
        }
    }
    std::uint32_t next_key_word() {
        ks_i = (ks_i + 1) & mask;
        ks_j = (ks_j + key_table[ks_i]) & mask;
        swap_word = key_table[ks_i];
        key_table[ks_i] = key_table[ks_j];
        key_table[ks_j] = swap_word;
        return key_table[(key_table[ks_i] + key_table[ks_j]) & mask];
    }
};

std::uint32_t rotl(std::uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

Bytes byte_view(const std::vector<std::uint32_t>& words) {
    Bytes out;
    for (std::uint32_t w : words) {
        for (int s = 0; s < 32; s += 8) out.push_back(static_cast<std::uint8_t>(w >> s));
    }
    return out;
}

std::vector<std::uint32_t> reference_stir(std::size_t n, const Bytes& data, std::uint32_t iterations) {
    std::vector<std::uint32_t> w(n / 4, 0);
    if (data.empty()) return w;
    const std::uint32_t mask = static_cast<std::uint32_t>(n / 4 - 1);
    std::uint32_t x = 0;
    for (std::uint32_t j = 0; j < iterations; ++j) {
        const std::uint32_t p = static_cast<std::uint32_t>(j % data.size());
        const std::uint32_t b = data[p];
        x = (w[b & mask] + w[j & mask] + w[p & mask] + 1 + x) & mask;
        w[x] = rotl(b ^ w[x] ^ p, 5);
    }
    return w;
}

struct Inputs {
    std::uint16_t version = 3;
    Bytes salt = testing::pattern_bytes(16, 77);
    std::uint32_t digest_rounds = 5000, key_rounds = 3000, table_rounds = 4000;
};

// utf8: the password's UTF-8 bytes, before the cap. key_file: its contents,
// when the key-file stage runs.
Reference reference_schedule(const Inputs& in, const Bytes& utf8, const std::optional<Bytes>& key_file) {
    const std::uint32_t v = in.version;
    Reference r;
    r.mask = v < 3 ? 255 : 1023;
    const std::size_t cap = v < 3 ? 255 : 510;
    const std::size_t d = v <= 1 ? 32 : 256;
    const std::size_t len = std::min(utf8.size(), cap);
    const Bytes password(utf8.begin(), utf8.begin() + static_cast<std::ptrdiff_t>(len));
    Bytes material(in.salt.begin(), in.salt.begin() + 8);
    material.insert(material.end(), password.begin(), password.end());
    material.insert(material.end(), in.salt.begin() + 8, in.salt.end());

    for (std::uint32_t x = 0; x <= r.mask; ++x) r.key_table[x] = r.perm_table[x] = x;

    std::vector<std::uint32_t> digest(d / 4, 0);
    if (v == 3) {
        digest = reference_stir(256, material, in.digest_rounds);
    } else {
        const std::uint32_t w = static_cast<std::uint32_t>(d / 4 - 1);
        std::uint32_t x = 0;
        for (std::uint32_t j = 0; j < in.digest_rounds; ++j) {
            const std::uint32_t b = material[j % material.size()];
            x = (digest[j & w] + digest[b & w] + 1 + x) & w;
            digest[x] = rotl(digest[x] ^ b, 5);
        }
    }
    if (v <= 1) {
        for (auto& word : digest) {
            word = (word >> 24) | ((word >> 8) & 0xFF00) | ((word << 8) & 0xFF0000) | (word << 24);
        }
    }
    const Bytes digest_bytes = byte_view(digest);
    r.key_pass(digest_bytes.data(), d, in.key_rounds);
    if (v >= 2) {
        r.key_pass(material.data(), material.size(), static_cast<std::uint32_t>(material.size()));
    } else {
        r.key_pass(password.data(), password.size(), in.key_rounds);
    }
    if (key_file) {
        const Bytes head(key_file->begin(), key_file->begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(65536, key_file->size())));
        const Bytes file_digest = byte_view(reference_stir(d, head, 65536));
        r.key_pass(file_digest.data(), d, static_cast<std::uint32_t>(d));
        r.key_pass(head.data(), head.size(), static_cast<std::uint32_t>(head.size()));
    }
    for (std::uint32_t j = 0; j < in.table_rounds; ++j) {
        const std::uint32_t t = r.next_key_word();
        r.swap_word = r.perm_table[j & r.mask];
        r.swap_slot = t;
        r.perm_table[j & r.mask] = r.perm_table[t];
        r.perm_table[t] = r.swap_word;
    }
    return r;
}

// --- Running the schedule on a job --------------------------------------------

class KeySchedule : public ::testing::Test {
protected:
    std::filesystem::path dir_ = testing::scratch_dir();

    std::filesystem::path key_file(const std::string& name, const Bytes& contents) {
        const auto path = dir_ / name;
        testing::write_file(path, contents);
        return path;
    }

    static std::unique_ptr<JobContext> make_job(const Inputs& in, bool mixed_flag = true) {
        auto job = std::make_unique<JobContext>();
        job->header.set_schedule_version(in.version);
        job->header.set_flags(mixed_flag ? FLAG_MIXED_KEYFILE : 0);
        std::memcpy(job->header.salt(), in.salt.data(), 16);
        job->header.set_digest_rounds(in.digest_rounds);
        job->header.set_key_rounds(in.key_rounds);
        job->header.set_table_rounds(in.table_rounds);
        return job;
    }

    // Runs the schedule with the key file (if any) opened fresh at its start.
    static std::unique_ptr<JobContext> run(const Inputs& in, const char16_t* password,
                                           const std::optional<std::filesystem::path>& key_path = std::nullopt,
                                           bool mixed_flag = true) {
        auto job = make_job(in, mixed_flag);
        if (key_path) {
            job->keyfile_handle = platform::open_read(key_path->u16string().c_str());
            EXPECT_NE(job->keyfile_handle, platform::INVALID_FILE);
        }
        EXPECT_EQ(schedule_key(*job, password), StatusCode::ok);
        if (key_path) platform::close(job->keyfile_handle);
        job->keyfile_handle = platform::INVALID_FILE;
        return job;
    }
};

void expect_state(const CipherState& c, const Reference& r) {
    EXPECT_EQ(c.mask, r.mask);
    EXPECT_EQ(c.stir_j, r.stir_j);
    EXPECT_EQ(c.swap_word, r.swap_word);
    EXPECT_EQ(c.ks_i, r.ks_i);
    EXPECT_EQ(c.ks_j, r.ks_j);
    EXPECT_EQ(c.perm_i, 0u);
    EXPECT_EQ(c.perm_j, 0u);
    EXPECT_TRUE(std::equal(c.key_table, c.key_table + r.mask + 1, r.key_table.begin()));
    EXPECT_TRUE(std::equal(c.perm_table, c.perm_table + r.mask + 1, r.perm_table.begin()));
    ASSERT_NE(c.swap_slot, nullptr);
    EXPECT_EQ(c.swap_slot - c.perm_table, r.swap_slot);
}

bool same_state(const CipherState& a, const CipherState& b) {
    return a.mask == b.mask && a.stir_j == b.stir_j && a.swap_word == b.swap_word && a.ks_i == b.ks_i &&
           a.ks_j == b.ks_j && a.perm_i == b.perm_i && a.perm_j == b.perm_j &&
           std::equal(a.key_table, a.key_table + a.mask + 1, b.key_table) &&
           std::equal(a.perm_table, a.perm_table + a.mask + 1, b.perm_table) &&
           a.swap_slot - a.perm_table == b.swap_slot - b.perm_table;
}

TEST_F(KeySchedule, EveryVariantMatchesTheReference) {
    struct Password {
        const char* name;
        std::optional<std::u16string> text;  // none: no password given
        std::string utf8;
    };
    const Password passwords[] = {
        {"none", std::nullopt, ""},
        {"empty", u"", ""},
        {"ascii", u"correct horse", "correct horse"},
        {"non-ascii", u"p\u00e4ss \u20ac\U0001D11E", "p\xC3\xA4ss \xE2\x82\xAC\xF0\x9D\x84\x9E"},
        {"255 ascii units", std::u16string(255, u'k'), std::string(255, 'k')},
    };
    const Bytes long_file = testing::pattern_bytes(70000, 3);
    const std::optional<Bytes> key_files[] = {std::nullopt, Bytes{}, testing::pattern_bytes(1000, 4), long_file};

    for (std::uint16_t version = 0; version <= 3; ++version) {
        for (const Password& p : passwords) {
            for (std::size_t f = 0; f < std::size(key_files); ++f) {
                SCOPED_TRACE(::testing::Message() << "variant " << version << ", password " << p.name << ", key file "
                                                  << (key_files[f] ? std::to_string(key_files[f]->size()) : "none"));
                Inputs in;
                in.version = version;
                std::optional<std::filesystem::path> path;
                if (key_files[f]) path = key_file("key" + std::to_string(f), *key_files[f]);
                const auto units_ = p.text ? units(*p.text) : Units{};
                const auto job = run(in, p.text ? units_.data() : nullptr, path);
                expect_state(job->cipher, reference_schedule(in, bytes(p.utf8), key_files[f]));
            }
        }
    }
}

TEST_F(KeySchedule, VariantsZeroAndOneAreTheSameSchedule) {
    Inputs in;
    in.version = 0;
    const auto zero = run(in, units(u"secret \u00fc").data());
    in.version = 1;
    const auto one = run(in, units(u"secret \u00fc").data());
    EXPECT_TRUE(same_state(zero->cipher, one->cipher));
}

TEST_F(KeySchedule, NoPasswordIsTheEmptyPassword) {
    for (std::uint16_t version = 0; version <= 3; ++version) {
        Inputs in;
        in.version = version;
        EXPECT_TRUE(same_state(run(in, nullptr)->cipher, run(in, units(u"").data())->cipher)) << version;
    }
}

TEST_F(KeySchedule, PasswordIsCutAtTheCapEvenInsideACharacter) {
    // Prefixes one byte short of the cap, so the next character is cut after
    // its first byte: 84 euro signs and an e-acute make 254 bytes, 169 and
    // one make 509.
    struct Case {
        std::uint16_t version;
        std::size_t euros;
    };
    for (const Case& c : {Case{0, 84}, Case{2, 84}, Case{3, 169}}) {
        SCOPED_TRACE(::testing::Message() << "variant " << c.version);
        Inputs in;
        in.version = c.version;
        const std::u16string prefix = std::u16string(c.euros, u'\u20AC') + u"\u00e9";
        const auto base = run(in, units(prefix + u"\u20AC").data());
        // Same first byte (E2) at the cut, different tails after it.
        EXPECT_TRUE(same_state(base->cipher, run(in, units(prefix + u"\u20A4").data())->cipher));
        EXPECT_TRUE(same_state(base->cipher, run(in, units(prefix + u"\u20AC" + std::u16string(60, u'x')).data())->cipher));
        // A difference before the cap does count.
        const std::u16string other = std::u16string(c.euros, u'\u20AC') + u"\u00e8\u20AC";
        EXPECT_FALSE(same_state(base->cipher, run(in, units(other).data())->cipher));
    }
}

TEST_F(KeySchedule, OverlongPasswordIsCutWithoutOverrunningItsBuffer) {
    // 400 euro signs are 1200 UTF-8 bytes, beyond the 1024-byte buffer; only
    // the first 510 bytes (170 signs) may count.
    Inputs in;
    const auto overlong = run(in, units(std::u16string(400, u'\u20AC')).data());
    const auto at_cap = run(in, units(std::u16string(170, u'\u20AC')).data());
    EXPECT_TRUE(same_state(overlong->cipher, at_cap->cipher));
}

TEST_F(KeySchedule, KeyFileProperties) {
    Bytes long_bytes = testing::pattern_bytes(65536 + 100, 9);
    const auto empty = key_file("empty", {});
    const auto longer = key_file("long", long_bytes);
    const auto head = key_file("head", Bytes(long_bytes.begin(), long_bytes.begin() + 65536));
    long_bytes[65535] ^= 1;
    const auto last_counted_changed = key_file("changed", long_bytes);
    const auto password = units(u"pw");

    for (std::uint16_t version = 0; version <= 3; ++version) {
        SCOPED_TRACE(::testing::Message() << "variant " << version);
        Inputs in;
        in.version = version;
        const auto none = run(in, password.data());
        EXPECT_FALSE(same_state(none->cipher, run(in, password.data(), empty)->cipher)) << "empty key file";
        const auto with_long = run(in, password.data(), longer);
        EXPECT_TRUE(same_state(with_long->cipher, run(in, password.data(), head)->cipher)) << "beyond 64 KiB";
        EXPECT_FALSE(same_state(with_long->cipher, run(in, password.data(), last_counted_changed)->cipher))
            << "last counted byte";
        EXPECT_TRUE(same_state(none->cipher, run(in, password.data(), longer, false)->cipher)) << "flag clear";
    }
}

TEST_F(KeySchedule, UnreadableKeyFileReportsReadFailureAndStillFinishes) {
    Inputs in;
    const auto password = units(u"pw");
    const auto none = run(in, password.data());

    auto job = make_job(in);
    const auto path = key_file("key", testing::pattern_bytes(100, 1));
    const platform::FileHandle stale = platform::open_read(path.u16string().c_str());
    ASSERT_NE(stale, platform::INVALID_FILE);
    platform::close(stale);  // reading a closed handle fails
    job->keyfile_handle = stale;
    EXPECT_EQ(schedule_key(*job, password.data()), StatusCode::read_failed);
    EXPECT_EQ(job->status, StatusCode::read_failed);
    job->keyfile_handle = platform::INVALID_FILE;
    // The key file counts for nothing; the table pass has run.
    EXPECT_TRUE(same_state(job->cipher, none->cipher));
}

TEST_F(KeySchedule, RunningTwiceGivesTheSameState) {
    const auto path = key_file("key", testing::pattern_bytes(5000, 2));
    for (std::uint16_t version = 0; version <= 3; ++version) {
        Inputs in;
        in.version = version;
        auto job = make_job(in);
        const auto password = units(u"twice");
        for (auto* handle_path : {&path, static_cast<const std::filesystem::path*>(nullptr)}) {
            SCOPED_TRACE(::testing::Message() << "variant " << version << (handle_path ? " with" : " without")
                                              << " key file");
            CipherState first{};
            for (int pass = 0; pass < 2; ++pass) {
                if (handle_path) job->keyfile_handle = platform::open_read(handle_path->u16string().c_str());
                ASSERT_EQ(schedule_key(*job, password.data()), StatusCode::ok);
                if (handle_path) platform::close(job->keyfile_handle);
                job->keyfile_handle = platform::INVALID_FILE;
                if (pass == 0) {
                    first = job->cipher;
                    first.swap_slot = first.perm_table + (job->cipher.swap_slot - job->cipher.perm_table);
                    // Leave the state as a job would: advanced and disturbed.
                    for (int k = 0; k < 999; ++k) (void)next_key_word(*job);
                    job->cipher.perm_i = 7;
                    job->cipher.stir_j = 3;
                }
            }
            EXPECT_TRUE(same_state(first, job->cipher));
        }
    }
}

}  // namespace
}  // namespace corvane
