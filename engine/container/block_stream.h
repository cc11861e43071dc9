// The block records and trailer behind the header: writing (encryption),
// reading (decryption) and verifying (test, no password).
//
// Block record: u32 length n, u32 RotSum of the n stored bytes, n bytes.
// Trailer (16 bytes): 0, plain_sum, rol32(plain_sum, 1), ~plain_sum.
#pragma once

#include <cstdint>

#include "engine/container/job_context.h"

namespace corvane {

inline constexpr std::uint32_t BLOCK_HEAD_SIZE = 8;
inline constexpr std::uint32_t TRAILER_SIZE = 16;

[[nodiscard]] StatusCode write_stream(JobContext& job);
[[nodiscard]] StatusCode read_stream(JobContext& job);
[[nodiscard]] StatusCode verify_stream(JobContext& job);
[[nodiscard]] StatusCode apply_key_pad(JobContext& job, std::uint32_t n);

}  // namespace corvane
