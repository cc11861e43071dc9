// The byte keystream and its application to whole blocks.
#pragma once

#include <cstdint>

#include "engine/container/job_context.h"

namespace corvane {

[[nodiscard]] std::uint8_t keystream_byte(JobContext& job);

// Encryption: adds each plaintext byte to plain_sum, then XORs it with the
// next keystream byte. Same generator steps as n calls of keystream_byte.
void encipher_bytes(JobContext& job, std::uint8_t* data, std::uint32_t n);
// encipher_bytes that also returns the RotSum (from 0) of the enciphered
// bytes: a Stream block's sum, taken in the same pass.
[[nodiscard]] std::uint32_t encipher_and_sum(JobContext& job, std::uint8_t* data, std::uint32_t n);
// Decryption: XORs, then adds the resulting plaintext byte to plain_sum.
void decipher_bytes(JobContext& job, std::uint8_t* data, std::uint32_t n);

}  // namespace corvane
