// The key schedule and the primitives the cipher engine shares.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/container/job_context.h"

namespace corvane {

// The longest password the front ends take, in UTF-16 units; its UTF-8 form
// always fits UTF8_BUFFER_SIZE.
inline constexpr std::size_t PASSWORD_UNITS = 255;
inline constexpr std::size_t UTF8_BUFFER_SIZE = 1024;
inline constexpr std::size_t KEYFILE_BYTES = 65536;

// Converts a NUL-terminated UTF-16 string; target holds 3 bytes per unit plus
// one. Returns the bytes written including the final zero byte.
std::size_t to_utf8(const char16_t* source, std::uint8_t* target);

void stir_hash(std::uint8_t* out, std::size_t n, const std::uint8_t* data, std::size_t length,
               std::uint32_t iterations);

void key_pass(JobContext& job, const std::uint8_t* data, std::size_t length, std::uint32_t count);

[[nodiscard]] std::uint32_t next_key_word(JobContext& job);
[[nodiscard]] std::uint32_t next_perm_word(JobContext& job);

// password: NUL-terminated UTF-16 or null (empty).
[[nodiscard]] StatusCode schedule_key(JobContext& job, const char16_t* password);

}  // namespace corvane
