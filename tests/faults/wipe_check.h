// Watches the engine's heap buffers: the engine allocates them, and only
// them, with the non-throwing array new. Replacing the global array
// operators in a test program records each such buffer and, when it is
// freed, whether it held only zeros, which is what the engine promises for
// block buffers, the permutation map, the key pad and the key-file bytes.
#pragma once

#include <cstddef>

namespace corvane::testing {

struct WipeReport {
    std::size_t allocated = 0;    // engine buffers allocated since reset
    std::size_t freed = 0;        // of them, freed
    std::size_t freed_dirty = 0;  // freed while holding a nonzero byte
    std::size_t live = 0;         // allocated and not yet freed
};

// Starts a new count; buffers allocated before stay untracked.
void wipe_check_reset();
[[nodiscard]] WipeReport wipe_check_report();

// Makes the k-th engine buffer allocation (1-based) from now on fail, as an
// exhausted heap would; 0 fails none.
void fail_buffer(std::size_t k);

}  // namespace corvane::testing
