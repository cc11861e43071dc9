// The random parameters of a new container.
#pragma once

#include <cstdint>

#include "engine/container/job_context.h"

namespace corvane {

inline constexpr std::size_t ENTROPY_RECORD_SIZE = 60;
inline constexpr std::size_t RANDOM_VALUE_SIZE = 64;
inline constexpr std::uint32_t ENTROPY_STIR_ROUNDS = 34567;

// Lays the platform readings out as the 60-byte record.
void entropy_record(const platform::EntropyReadings& readings, std::uint8_t* record);
// R = StirHash(64 bytes, record, 34567 steps).
void random_value_from_record(const std::uint8_t* record, std::uint8_t* out);
void gather_entropy(std::uint8_t* out);

// Spends R on the salt, the three round counts and the short-file filler.
void apply_random_value(JobContext& job, const std::uint8_t* random_value);
void seed_header(JobContext& job);

}  // namespace corvane
