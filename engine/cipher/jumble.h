// The keyed permutation of a block's byte positions.
#pragma once

#include <cstdint>

#include "engine/container/job_context.h"

namespace corvane {

// Fills jumble_map[0..n-1] with the block's permutation; reports progress
// between rounds and polls the run state. False when the job is cancelling
// (the map is then incomplete).
[[nodiscard]] bool jumble_block(JobContext& job, std::uint32_t n);

// out[k] = in[map[k]] (encryption) and out[map[k]] = in[k] (decryption).
void gather_block(std::uint8_t* out, const std::uint8_t* in, const std::uint32_t* map, std::uint32_t n);
// gather_block that also returns the RotSum (from 0) of the gathered bytes: a
// Jumble block's sum, taken in the same pass.
[[nodiscard]] std::uint32_t gather_and_sum(std::uint8_t* out, const std::uint8_t* in, const std::uint32_t* map,
                                           std::uint32_t n);
void scatter_block(std::uint8_t* out, const std::uint8_t* in, const std::uint32_t* map, std::uint32_t n);

}  // namespace corvane
