// The Jumble: a keyed permutation of a block's byte positions, rebuilt for
// every block from the permutation-table generator.
#include "engine/cipher/jumble.h"

#include <algorithm>
#include <cmath>

#include "engine/cipher/generator.h"
#include "engine/container/bytes.h"

namespace corvane {

namespace {

// The swap of one round step: every exchange passes through swap_word and
// swap_slot, which keep the last values until the job's final wipe.
struct MapSwapper {
    std::uint32_t* map;
    std::uint32_t* slot;

    void swap(std::uint32_t k, std::uint32_t target, std::uint32_t& sw) {
        sw = map[k];
        slot = &map[target];
        map[k] = *slot;
        *slot = sw;
    }
};

// Variant 0: the targets are drawn once per block and every round repeats them.
void round_fixed_targets(CipherState& cs, std::uint32_t* map, const std::uint8_t* draw_table, std::uint32_t n) {
    MapSwapper s{map, cs.swap_slot};
    std::uint32_t sw = cs.swap_word;
    for (std::uint32_t k = 0; k < n; ++k) s.swap(k, draw_table[k], sw);
    cs.swap_word = sw;
    cs.swap_slot = s.slot;
}

// Variants 1 to 3: a fresh draw for every position of every round. Blocks
// longer than the table use the draw as it is (it is then below n) and pay no
// division. Both map entries of a swap stay in registers: when the target is k
// they are one entry holding one value, so nothing needs reading back.
void round_fresh_targets(CipherState& cs, std::uint32_t* map, std::uint32_t n) {
    std::uint32_t* table = cs.perm_table;
    const std::uint32_t mask = cs.mask;
    std::uint32_t i = cs.perm_i;
    std::uint32_t j = cs.perm_j;
    std::uint32_t sw = cs.swap_word;
    std::uint32_t* slot = cs.swap_slot;
    const auto swap = [&](std::uint32_t k, std::uint32_t target) {
        const std::uint32_t at_k = map[k];
        slot = &map[target];
        const std::uint32_t at_target = *slot;
        map[k] = at_target;
        *slot = at_k;
        sw = at_k;
    };
    if (n > mask) {
        for (std::uint32_t k = 0; k < n; ++k) swap(k, cipher_detail::generator_step(table, mask, i, j, sw));
    } else {
        for (std::uint32_t k = 0; k < n; ++k) swap(k, cipher_detail::generator_step(table, mask, i, j, sw) % n);
    }
    cs.perm_i = i;
    cs.perm_j = j;
    cs.swap_word = sw;
    cs.swap_slot = slot;
}

}  // namespace

bool jumble_block(JobContext& job, std::uint32_t n) {
    const std::uint32_t rounds = job.header.jumble_rounds();
    const bool fixed_targets = job.header.schedule_version() == 0;
    std::uint32_t* map = job.jumble_map;
    std::uint8_t* draw_table = job.spare_buffer;
    // A block larger than the buffers would write past them: refuse it as a
    // failure rather than a cancel, so the job does not end as a success.
    if (n > job.buffer_size || map == nullptr || (fixed_targets && draw_table == nullptr)) {
        fail(job, StatusCode::no_memory);
        return false;
    }
    CipherState& cs = job.cipher;

    const double per_round = static_cast<double>(n) / (static_cast<double>(rounds) + 1.0);
    const double threshold = std::max(16.0, static_cast<double>(n) / std::sqrt(4.0 * rounds));
    double acc = 0;

    for (std::uint32_t k = 0; k < n; ++k) map[k] = k;

    if (fixed_targets) {
        // Variant 0 keeps mask 255, so every draw fits a byte.
        std::uint32_t* table = cs.perm_table;
        const std::uint32_t mask = cs.mask;
        std::uint32_t i = cs.perm_i;
        std::uint32_t j = cs.perm_j;
        std::uint32_t sw = cs.swap_word;
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t t = cipher_detail::generator_step(table, mask, i, j, sw);
            draw_table[k] = static_cast<std::uint8_t>(t % n);
        }
        cs.perm_i = i;
        cs.perm_j = j;
        cs.swap_word = sw;
    }

    for (std::uint32_t r = 0; r < rounds; ++r) {
        if (fixed_targets) {
            round_fixed_targets(cs, map, draw_table, n);
        } else {
            round_fresh_targets(cs, map, n);
        }
        if (!poll_run_state(job)) return false;
        acc += per_round;
        if (acc > threshold) {
            const auto amount = static_cast<std::uint32_t>(acc);
            meter_advance(job, amount);
            job.block_reported += amount;
            acc = 0;
        }
    }
    return job.run_state.load() != RunState::cancelling;
}

void gather_block(std::uint8_t* out, const std::uint8_t* in, const std::uint32_t* map, std::uint32_t n) {
    for (std::uint32_t k = 0; k < n; ++k) out[k] = in[map[k]];
}

// The gather, with the RotSum of the gathered bytes taken eight at a time as
// they are stored.
std::uint32_t gather_and_sum(std::uint8_t* out, const std::uint8_t* in, const std::uint32_t* map, std::uint32_t n) {
    std::uint32_t s = 0;
    std::uint32_t k = 0;
    for (; k + 8 <= n; k += 8) {
        std::uint64_t w = 0;
        for (unsigned u = 0; u < 8; ++u) w |= static_cast<std::uint64_t>(in[map[k + u]]) << (8 * u);
        store64_le(out + k, w);
        s = rot_sum_detail::step8(s, w);
    }
    for (; k < n; ++k) {
        out[k] = in[map[k]];
        s = rol32(s + out[k], 1);
    }
    return s;
}

void scatter_block(std::uint8_t* out, const std::uint8_t* in, const std::uint32_t* map, std::uint32_t n) {
    for (std::uint32_t k = 0; k < n; ++k) out[map[k]] = in[k];
}

}  // namespace corvane
