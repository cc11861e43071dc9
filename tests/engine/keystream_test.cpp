// The byte keystream: the fixed first words, and the block functions against
// a step-by-step reference of the generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/cipher/key_schedule.h"
#include "engine/cipher/keystream.h"
#include "tests/support/scratch.h"

namespace corvane {
namespace {

using testing::Bytes;
using testing::pattern_bytes;

// The generator step exactly as written down: index, accumulate, swap through
// the scratch word, output the word at the sum of the two swapped entries.
std::uint32_t reference_step(CipherState& c) {
    c.ks_i = (c.ks_i + 1) & c.mask;
    c.ks_j = (c.ks_j + c.key_table[c.ks_i]) & c.mask;
    c.swap_word = c.key_table[c.ks_i];
    c.key_table[c.ks_i] = c.key_table[c.ks_j];
    c.key_table[c.ks_j] = c.swap_word;
    return c.key_table[(c.key_table[c.ks_i] + c.key_table[c.ks_j]) & c.mask];
}

std::unique_ptr<JobContext> identity_job(std::uint32_t mask) {
    auto job = std::make_unique<JobContext>();
    job->cipher.mask = mask;
    for (std::uint32_t x = 0; x <= mask; ++x) job->cipher.key_table[x] = x;
    return job;
}

// A keyed-looking state: a shuffled table and indices away from zero.
std::unique_ptr<JobContext> shuffled_job(std::uint32_t mask, std::uint32_t seed) {
    auto job = identity_job(mask);
    const Bytes noise = pattern_bytes(4 * (mask + 1) + 8, seed);
    CipherState& c = job->cipher;
    for (std::uint32_t x = mask; x > 0; --x) {
        const std::uint32_t y = (noise[4 * x] | (noise[4 * x + 1] << 8)) % (x + 1);
        std::swap(c.key_table[x], c.key_table[y]);
    }
    c.ks_i = noise[0] & mask;
    c.ks_j = noise[1] & mask;
    job->plain_sum = 0xFFFFFF00u + noise[2];  // near the wrap
    return job;
}

void expect_same_generator(const JobContext& a, const JobContext& b) {
    EXPECT_EQ(a.cipher.ks_i, b.cipher.ks_i);
    EXPECT_EQ(a.cipher.ks_j, b.cipher.ks_j);
    EXPECT_EQ(a.cipher.swap_word, b.cipher.swap_word);
    EXPECT_TRUE(std::equal(a.cipher.key_table, a.cipher.key_table + a.cipher.mask + 1, b.cipher.key_table));
    EXPECT_EQ(a.plain_sum, b.plain_sum);
}

TEST(Keystream, FirstWordsFromTheIdentity) {
    const std::uint32_t expected[] = {2, 5, 7, 13, 13, 23, 31, 40};
    for (std::uint32_t mask : {255u, 1023u}) {
        auto words = identity_job(mask);
        auto bytes = identity_job(mask);
        for (std::uint32_t e : expected) {
            EXPECT_EQ(next_key_word(*words), e) << "mask " << mask;
            EXPECT_EQ(keystream_byte(*bytes), e) << "mask " << mask;
        }
    }
}

TEST(Keystream, BlockFunctionsFollowTheStepByStepGenerator) {
    const std::uint32_t lengths[] = {0, 1, 2, 255, 256, 1023, 1024, 1025, 5000};
    for (std::uint32_t mask : {255u, 1023u}) {
        for (std::uint32_t n : lengths) {
            SCOPED_TRACE(::testing::Message() << "mask " << mask << " n " << n);
            const Bytes plain = pattern_bytes(n, n + mask);

            auto reference = shuffled_job(mask, n * 7 + mask);
            Bytes expected_cipher(n);
            std::uint32_t expected_sum = reference->plain_sum;
            for (std::uint32_t k = 0; k < n; ++k) {
                expected_sum += plain[k];
                expected_cipher[k] = static_cast<std::uint8_t>(plain[k] ^ (reference_step(reference->cipher) & 0xFF));
            }
            reference->plain_sum = expected_sum;

            auto enc = shuffled_job(mask, n * 7 + mask);
            Bytes data = plain;
            encipher_bytes(*enc, data.data(), n);
            EXPECT_EQ(data, expected_cipher);
            expect_same_generator(*enc, *reference);

            auto dec = shuffled_job(mask, n * 7 + mask);
            decipher_bytes(*dec, data.data(), n);
            EXPECT_EQ(data, plain);
            expect_same_generator(*dec, *reference);
        }
    }
}

TEST(Keystream, ChunkedBlocksEqualOneBlock) {
    for (std::uint32_t mask : {255u, 1023u}) {
        const Bytes plain = pattern_bytes(3000, mask);
        auto whole = shuffled_job(mask, 5);
        Bytes one = plain;
        encipher_bytes(*whole, one.data(), 3000);

        auto pieces = shuffled_job(mask, 5);
        Bytes chunked = plain;
        std::uint32_t at = 0;
        for (std::uint32_t size : {1u, 999u, 0u, 2000u}) {
            encipher_bytes(*pieces, chunked.data() + at, size);
            at += size;
        }
        EXPECT_EQ(chunked, one) << "mask " << mask;
        expect_same_generator(*pieces, *whole);
    }
}

}  // namespace
}  // namespace corvane
