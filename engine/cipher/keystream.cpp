// The byte keystream, applied to whole blocks in one pass together with the
// plaintext sum of the trailer.
#include "engine/cipher/keystream.h"

#include "engine/cipher/generator.h"

namespace corvane {

std::uint8_t keystream_byte(JobContext& job) {
    CipherState& cs = job.cipher;
    return static_cast<std::uint8_t>(
        cipher_detail::generator_step(cs.key_table, cs.mask, cs.ks_i, cs.ks_j, cs.swap_word));
}

// The generator state lives in locals for the whole block and goes back to the
// record once, as the byte-by-byte steps would have left it.
void encipher_bytes(JobContext& job, std::uint8_t* data, std::uint32_t n) {
    CipherState& cs = job.cipher;
    std::uint32_t* table = cs.key_table;
    const std::uint32_t mask = cs.mask;
    std::uint32_t i = cs.ks_i;
    std::uint32_t j = cs.ks_j;
    std::uint32_t sw = cs.swap_word;
    std::uint32_t sum = job.plain_sum;
    for (std::uint32_t k = 0; k < n; ++k) {
        sum += data[k];
        data[k] = static_cast<std::uint8_t>(data[k] ^ cipher_detail::generator_step(table, mask, i, j, sw));
    }
    cs.ks_i = i;
    cs.ks_j = j;
    cs.swap_word = sw;
    job.plain_sum = sum;
}

void decipher_bytes(JobContext& job, std::uint8_t* data, std::uint32_t n) {
    CipherState& cs = job.cipher;
    std::uint32_t* table = cs.key_table;
    const std::uint32_t mask = cs.mask;
    std::uint32_t i = cs.ks_i;
    std::uint32_t j = cs.ks_j;
    std::uint32_t sw = cs.swap_word;
    std::uint32_t sum = job.plain_sum;
    for (std::uint32_t k = 0; k < n; ++k) {
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
