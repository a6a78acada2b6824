// SPDX-License-Identifier: MIT
// The POSIX 48-bit linear congruential generator: x' = (0x5DEECE66D * x + 0xB) mod 2^48, seeded
// with the seed in the high 32 bits and 0x330E below; a draw is the top 31 bits. Our own, so the
// sequence is the same wherever the program runs.
#include <cstdint>

#include "effects.h"

namespace {
constexpr uint64_t kMask = 0xffffffffffffULL;
Rand48 g_state{0x1234abcd330eULL};
}  // namespace

void wobble_srand48(long seed) {
    g_state.x = ((static_cast<uint64_t>(static_cast<uint32_t>(seed)) << 16) | 0x330e) & kMask;
}

long wobble_lrand48() { return g_state.next(); }

Rand48 wobble_rand48_state() { return g_state; }
void wobble_set_rand48_state(Rand48 r) { g_state = r; }

// n steps of x -> a x + c are one affine map x -> A x + C; it is built from the maps of 1, 2, 4,
// ... steps, each the previous one applied twice. Arithmetic mod 2^64 agrees with mod 2^48 in
// the low 48 bits.
void Rand48::skip(uint64_t n) {
    uint64_t a = 0x5deece66dULL, c = 0xb, A = 1, C = 0;
    for (; n; n >>= 1) {
        if (n & 1) {
            A *= a;
            C = C * a + c;
        }
        c *= a + 1;
        a *= a;
    }
    x = (A * x + C) & kMask;
}
