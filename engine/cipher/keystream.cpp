// The byte keystream, applied to whole blocks in one pass together with the
// plaintext sum of the trailer.
#include "engine/cipher/keystream.h"

#include "engine/cipher/generator.h"
#include "engine/container/bytes.h"

namespace corvane {

std::uint8_t keystream_byte(JobContext& job) {
    CipherState& cs = job.cipher;
    return static_cast<std::uint8_t>(
        cipher_detail::generator_step(cs.key_table, cs.mask, cs.ks_i, cs.ks_j, cs.swap_word));
}

namespace {

// The generator state lives in locals for the whole block and goes back to the
// record once, as the byte-by-byte steps would have left it. Eight bytes go
// through one 64-bit word: one load, one store, and the sums taken on the word.
void encipher(JobContext& job, std::uint8_t* data, std::uint32_t n) {
    CipherState& cs = job.cipher;
    std::uint32_t* table = cs.key_table;
    const std::uint32_t mask = cs.mask;
    std::uint32_t i = cs.ks_i;
    std::uint32_t j = cs.ks_j;
    std::uint32_t sw = cs.swap_word;
    std::uint32_t sum = job.plain_sum;
    std::uint32_t k = 0;
    for (; k + 8 <= n; k += 8) {
        const std::uint64_t plain = load64_le(data + k);
        sum += cipher_detail::byte_sum_8(plain);
        const std::uint64_t stored = plain ^ cipher_detail::keystream_8(table, mask, i, j, sw);
        store64_le(data + k, stored);
    }
    for (; k < n; ++k) {
        sum += data[k];
        data[k] = static_cast<std::uint8_t>(data[k] ^ cipher_detail::generator_step(table, mask, i, j, sw));
    }
    cs.ks_i = i;
    cs.ks_j = j;
    cs.swap_word = sw;
    job.plain_sum = sum;
}

}  // namespace

void encipher_bytes(JobContext& job, std::uint8_t* data, std::uint32_t n) { encipher(job, data, n); }

// The block sum runs as its own pass over the enciphered block, still in
// cache: measured on this machine class that is faster than folding it into
// the keystream loop, where its carry branch stalls the generator.
std::uint32_t encipher_and_sum(JobContext& job, std::uint8_t* data, std::uint32_t n) {
    encipher(job, data, n);
    return rot_sum(data, n);
}

void decipher_bytes(JobContext& job, std::uint8_t* data, std::uint32_t n) {
    CipherState& cs = job.cipher;
    std::uint32_t* table = cs.key_table;
    const std::uint32_t mask = cs.mask;
    std::uint32_t i = cs.ks_i;
    std::uint32_t j = cs.ks_j;
    std::uint32_t sw = cs.swap_word;
    std::uint32_t sum = job.plain_sum;
    std::uint32_t k = 0;
    for (; k + 8 <= n; k += 8) {
        const std::uint64_t plain = load64_le(data + k) ^ cipher_detail::keystream_8(table, mask, i, j, sw);
        store64_le(data + k, plain);
        sum += cipher_detail::byte_sum_8(plain);
    }
    for (; k < n; ++k) {
        const auto plain = static_cast<std::uint8_t>(data[k] ^ cipher_detail::generator_step(table, mask, i, j, sw));
        data[k] = plain;
        sum += plain;
    }
    cs.ks_i = i;
    cs.ks_j = j;
    cs.swap_word = sw;
    job.plain_sum = sum;
}

}  // namespace corvane
