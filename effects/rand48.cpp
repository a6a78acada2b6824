// SPDX-License-Identifier: MIT
// The POSIX 48-bit linear congruential generator: x' = (0x5DEECE66D * x + 0xB) mod 2^48, seeded
// with the seed in the high 32 bits and 0x330E below; a draw is the top 31 bits. Our own, so the
// sequence is the same wherever the program runs.
#include <cstdint>

#include "effects.h"

namespace {
uint64_t g_state = 0x1234abcd330eULL;
}

void wobble_srand48(long seed) {
    g_state = ((static_cast<uint64_t>(static_cast<uint32_t>(seed)) << 16) | 0x330e) & 0xffffffffffffULL;
}

long wobble_lrand48() {
    g_state = (0x5deece66dULL * g_state + 0xb) & 0xffffffffffffULL;
    return static_cast<long>(g_state >> 17);
}
