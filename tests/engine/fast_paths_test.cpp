// The block functions the stream passes use (word-at-a-time keystream, fused
// block sums, the Jumble rounds, the eight-byte RotSum) against plain versions
// of the same steps written out here one byte and one swap at a time: same
// bytes, same sums, and the same generator state after every block.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/cipher/jumble.h"
#include "engine/cipher/keystream.h"
#include "engine/container/bytes.h"
#include "engine/container/job_context.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// --- Plain versions -------------------------------------------------------------

// s = rol32(s + b, 1) for every byte: 32-bit addition with wrap-around, then
// a rotation left by one bit.
std::uint32_t plain_rot_sum(const std::uint8_t* data, std::size_t n, std::uint32_t s) {
    for (std::size_t k = 0; k < n; ++k) {
        s = s + data[k];
        s = (s << 1) | (s >> 31);
    }
    return s;
}

// One generator step: i = (i + 1) & mask; j = (j + T[i]) & mask; swap T[i] and
// T[j] through swap_word; the output is T[(T[i] + T[j]) & mask] read after the swap.
std::uint32_t plain_step(std::uint32_t* table, std::uint32_t mask, std::uint32_t& i, std::uint32_t& j,
                         std::uint32_t& swap_word) {
    i = (i + 1) & mask;
    j = (j + table[i]) & mask;
    swap_word = table[i];
    table[i] = table[j];
    table[j] = swap_word;
    return table[(table[i] + table[j]) & mask];
}

// Encryption adds the plaintext byte to plain_sum, then XORs the low byte of a
// keystream step; decryption XORs first and adds the result.
void plain_encipher(JobContext& job, std::uint8_t* data, std::uint32_t n) {
    CipherState& c = job.cipher;
    for (std::uint32_t k = 0; k < n; ++k) {
        job.plain_sum += data[k];
        data[k] ^= static_cast<std::uint8_t>(plain_step(c.key_table, c.mask, c.ks_i, c.ks_j, c.swap_word));
    }
}

void plain_decipher(JobContext& job, std::uint8_t* data, std::uint32_t n) {
    CipherState& c = job.cipher;
    for (std::uint32_t k = 0; k < n; ++k) {
        data[k] ^= static_cast<std::uint8_t>(plain_step(c.key_table, c.mask, c.ks_i, c.ks_j, c.swap_word));
        job.plain_sum += data[k];
    }
}

// The Jumble of one block: the identity, then per round a swap of position k
// with a target for k = 0..n-1. Variant 0 draws the targets once (mod n);
// later variants draw afresh, using the draw as it is when n > mask, else mod n.
// Every swap reads map[k] into swap_word, points swap_slot at the target,
// copies the target into k and stores swap_word through swap_slot.
void plain_jumble(JobContext& job, std::uint32_t n) {
    CipherState& c = job.cipher;
    const std::uint32_t rounds = job.header.jumble_rounds();
    const std::uint16_t version = job.header.schedule_version();
    std::uint32_t* map = job.jumble_map;
    for (std::uint32_t k = 0; k < n; ++k) map[k] = k;
    std::vector<std::uint32_t> draws(n);
    if (version == 0)
        for (std::uint32_t k = 0; k < n; ++k)
            draws[k] = plain_step(c.perm_table, c.mask, c.perm_i, c.perm_j, c.swap_word) % n;
    for (std::uint32_t r = 0; r < rounds; ++r) {
        for (std::uint32_t k = 0; k < n; ++k) {
            std::uint32_t target = 0;
            if (version == 0) {
                target = draws[k];
            } else {
                const std::uint32_t t = plain_step(c.perm_table, c.mask, c.perm_i, c.perm_j, c.swap_word);
                target = n > c.mask ? t : t % n;
            }
            c.swap_word = map[k];
            c.swap_slot = &map[target];
            map[k] = *c.swap_slot;
            *c.swap_slot = c.swap_word;
        }
    }
}

// --- Fixtures --------------------------------------------------------------------

struct Variant {
    std::uint16_t schedule_version;
    std::uint32_t mask;
};
const Variant VARIANTS[] = {{0, 255}, {1, 255}, {2, 255}, {3, 1023}};

// A keyed-looking job: both tables shuffled, indices and sums away from zero.
std::unique_ptr<JobContext> random_job(const Variant& v, std::uint32_t rounds, std::uint32_t buffer,
                                       std::uint32_t seed) {
    auto job = std::make_unique<JobContext>();
    job->header.set_schedule_version(v.schedule_version);
    job->header.set_jumble_rounds(rounds);
    std::mt19937 twister(seed);
    const auto rng = [&] { return static_cast<std::uint32_t>(twister()); };
    CipherState& c = job->cipher;
    c.mask = v.mask;
    for (std::uint32_t x = 0; x <= v.mask; ++x) c.key_table[x] = c.perm_table[x] = x;
    for (std::uint32_t x = v.mask; x > 0; --x) {
        std::swap(c.key_table[x], c.key_table[rng() % (x + 1)]);
        std::swap(c.perm_table[x], c.perm_table[rng() % (x + 1)]);
    }
    c.ks_i = rng() & v.mask;
    c.ks_j = rng() & v.mask;
    c.perm_i = rng() & v.mask;
    c.perm_j = rng() & v.mask;
    c.swap_word = rng();
    job->plain_sum = 0xFFFFFF00u + (rng() & 0xFFu);  // near the wrap
    if (allocate_buffers(*job, buffer, rounds != 0, false) != StatusCode::ok) return nullptr;
    return job;
}

Bytes random_bytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

// Everything a block may change: both generators, the scratch members (the
// slot as a position in the map), the plaintext sum.
void expect_same_state(const JobContext& fast, const JobContext& plain) {
    const CipherState& a = fast.cipher;
    const CipherState& b = plain.cipher;
    EXPECT_EQ(a.ks_i, b.ks_i);
    EXPECT_EQ(a.ks_j, b.ks_j);
    EXPECT_EQ(a.perm_i, b.perm_i);
    EXPECT_EQ(a.perm_j, b.perm_j);
    EXPECT_EQ(a.swap_word, b.swap_word);
    for (std::uint32_t x = 0; x <= a.mask; ++x) {
        ASSERT_EQ(a.key_table[x], b.key_table[x]) << "key_table entry " << x;
        ASSERT_EQ(a.perm_table[x], b.perm_table[x]) << "perm_table entry " << x;
    }
    const bool a_slot = a.swap_slot != nullptr, b_slot = b.swap_slot != nullptr;
    ASSERT_EQ(a_slot, b_slot);
    if (a_slot) {
        EXPECT_EQ(a.swap_slot - fast.jumble_map, b.swap_slot - plain.jumble_map);
    }
    EXPECT_EQ(fast.plain_sum, plain.plain_sum);
}

// Lengths around the word size, the table sizes and a 512 KiB block.
const std::uint32_t LENGTHS[] = {1, 7, 8, 9, 17, 255, 256, 257, 1023, 1024, 1025, 4099, 65536, 524288};

struct Shape {
    std::uint32_t rounds;
    std::uint32_t blocks;  // consecutive blocks, so the state carries over
};
const Shape SHAPES[] = {{0, 3}, {1, 2}, {2, 1}, {7, 1}};

// --- Encryption and decryption, block by block -----------------------------------

TEST(FastPaths, EncryptionBlocksMatchThePlainSteps) {
    for (const Variant& v : VARIANTS) {
        for (const Shape& shape : SHAPES) {
            for (std::uint32_t n : LENGTHS) {
                if (shape.rounds >= 7 && n > 65536) continue;  // the plain rounds are slow
                SCOPED_TRACE(::testing::Message() << "variant " << v.schedule_version << " rounds " << shape.rounds
                                                  << " n " << n);
                const std::uint32_t seed = n * 31 + v.schedule_version * 7 + shape.rounds;
                auto fast = random_job(v, shape.rounds, n, seed);
                auto plain = random_job(v, shape.rounds, n, seed);
                ASSERT_TRUE(fast && plain);
                for (std::uint32_t b = 0; b < shape.blocks; ++b) {
                    const Bytes source = random_bytes(n, seed + 1000 * b);
                    Bytes stored(n), expected(n);

                    std::uint32_t fast_sum = 0;
                    std::copy(source.begin(), source.end(), fast->block_buffer);
                    if (shape.rounds == 0) {
                        fast_sum = encipher_and_sum(*fast, fast->block_buffer, n);
                        std::copy(fast->block_buffer, fast->block_buffer + n, stored.begin());
                    } else {
                        encipher_bytes(*fast, fast->block_buffer, n);
                        ASSERT_TRUE(jumble_block(*fast, n));
                        fast_sum = gather_and_sum(stored.data(), fast->block_buffer, fast->jumble_map, n);
                    }

                    std::copy(source.begin(), source.end(), plain->block_buffer);
                    plain_encipher(*plain, plain->block_buffer, n);
                    if (shape.rounds == 0) {
                        std::copy(plain->block_buffer, plain->block_buffer + n, expected.begin());
                    } else {
                        plain_jumble(*plain, n);
                        for (std::uint32_t k = 0; k < n; ++k)
                            expected[k] = plain->block_buffer[plain->jumble_map[k]];
                    }

                    ASSERT_EQ(stored, expected) << "block " << b;
                    EXPECT_EQ(fast_sum, plain_rot_sum(expected.data(), n, 0)) << "block " << b;
                    expect_same_state(*fast, *plain);
                    if (shape.rounds != 0) {
                        for (std::uint32_t k = 0; k < n; ++k)
                            ASSERT_EQ(fast->jumble_map[k], plain->jumble_map[k]) << "map entry " << k;
                    }
                }
                release_job(*fast);
                release_job(*plain);
            }
        }
    }
}

TEST(FastPaths, DecryptionBlocksMatchThePlainSteps) {
    for (const Variant& v : VARIANTS) {
        for (const Shape& shape : SHAPES) {
            for (std::uint32_t n : LENGTHS) {
                if (shape.rounds >= 7 && n > 65536) continue;
                SCOPED_TRACE(::testing::Message() << "variant " << v.schedule_version << " rounds " << shape.rounds
                                                  << " n " << n);
                const std::uint32_t seed = n * 17 + v.schedule_version * 5 + shape.rounds + 99;
                auto fast = random_job(v, shape.rounds, n, seed);
                auto plain = random_job(v, shape.rounds, n, seed);
                ASSERT_TRUE(fast && plain);
                for (std::uint32_t b = 0; b < shape.blocks; ++b) {
                    const Bytes stored = random_bytes(n, seed + 1000 * b);
                    EXPECT_EQ(rot_sum(stored.data(), n), plain_rot_sum(stored.data(), n, 0));

                    Bytes out(n), expected(n);
                    if (shape.rounds == 0) {
                        std::copy(stored.begin(), stored.end(), out.begin());
                    } else {
                        ASSERT_TRUE(jumble_block(*fast, n));
                        scatter_block(out.data(), stored.data(), fast->jumble_map, n);
                    }
                    decipher_bytes(*fast, out.data(), n);

                    if (shape.rounds == 0) {
                        std::copy(stored.begin(), stored.end(), expected.begin());
                    } else {
                        plain_jumble(*plain, n);
                        for (std::uint32_t k = 0; k < n; ++k) expected[plain->jumble_map[k]] = stored[k];
                    }
                    plain_decipher(*plain, expected.data(), n);

                    ASSERT_EQ(out, expected) << "block " << b;
                    expect_same_state(*fast, *plain);
                }
                release_job(*fast);
                release_job(*plain);
            }
        }
    }
}

// --- RotSum -----------------------------------------------------------------------

// Starts where a carry out of bit 31, or the crossing of bit 31, is close, and
// where bits 17 to 24 are all set.
std::vector<std::uint32_t> edge_starts() {
    std::vector<std::uint32_t> starts = {0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu, 0x01FE0000u};
    for (std::uint32_t d = 0; d < 600; d += 3) {
        starts.push_back(0xFFFFFFFFu - d);
        starts.push_back(0x7FFFFFFFu - d);
        starts.push_back(0x01FE0000u + d * 0x101u);
    }
    return starts;
}

TEST(FastPaths, RotSumMatchesThePlainLoopAcrossLengthsAndStarts) {
    const std::size_t lengths[] = {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000, 4096, 65537};
    const Bytes random = random_bytes(65537, 7);
    const Bytes ones(65537, 0xFF);
    const Bytes zeros(65537, 0x00);
    for (const Bytes* data : {&random, &ones, &zeros}) {
        for (std::size_t n : lengths) {
            for (std::uint32_t start : edge_starts()) {
                ASSERT_EQ(rot_sum(data->data(), n, start), plain_rot_sum(data->data(), n, start))
                    << "n " << n << " start " << start << " first byte " << int(n ? (*data)[0] : 0);
            }
        }
    }
}

// Every one of eight bytes against the plain steps, from random starts, from
// starts whose high bits hug the carry and from starts on the fallback path.
TEST(FastPaths, RotSumOfEightBytesMatchesThePlainStepsFromAnyStart) {
    std::mt19937_64 rng(2024);
    const std::uint32_t forced_bits[] = {0u, 0x01FE0000u, 0xFFFFFF00u, 0xFFFF0000u, 0x7FFFFF00u, 0xFFFE0000u};
    for (std::uint32_t forced : forced_bits) {
        for (int sample = 0; sample < 200000; ++sample) {
            const std::uint64_t r = rng();
            const std::uint32_t start = static_cast<std::uint32_t>(r >> 32) | forced;
            std::uint64_t word = rng();
            // Bytes biased high so that carries happen often.
            if (sample % 2) word |= 0xF0F0F0F0F0F0F0F0ull;
            std::uint8_t bytes[8];
            store64_le(bytes, word);
            ASSERT_EQ(rot_sum(bytes, 8, start), plain_rot_sum(bytes, 8, start))
                << "start " << start << " word " << word;
        }
    }
}

TEST(FastPaths, RotSumContinuesAcrossSplitRanges) {
    const Bytes data = random_bytes(5000, 11);
    for (std::size_t cut : {0u, 1u, 5u, 8u, 13u, 4096u, 4999u, 5000u}) {
        const std::uint32_t first = rot_sum(data.data(), cut, 0x12345678u);
        EXPECT_EQ(rot_sum(data.data() + cut, data.size() - cut, first),
                  plain_rot_sum(data.data(), data.size(), 0x12345678u))
            << "cut " << cut;
    }
}

}  // namespace
}  // namespace corvane
