// SPDX-License-Identifier: MIT
// Random time scatter: every pixel from a history slot picked at random, anew in every pass.
#include <bit>
#include <cstring>

#include "quad.h"

#include "effects.h"
#include "row_pool.h"

namespace ref {

void time_scatter_step(PipelineState& s) {
    for (int y = 0; y < s.Height; ++y) {
        uint8_t* out = s.base + y * s.rowBytes;
        long r = 0;
        for (int x = 0; x < s.Width; ++x) {
            // One draw serves five pixels, shifted right by 6 bits for each.
            r = x % 5 == 0 ? wobble_lrand48() : r >> 6;
            const uint8_t* src = slot_row(s, static_cast<int>(r % s.Depth), y) + 4 * x + 1;
            out[4 * x] = src[0];
            out[4 * x + 1] = src[1];
            out[4 * x + 2] = src[2];
        }
    }
}

}  // namespace ref

static_assert(std::endian::native == std::endian::little, "pixel words are read little-endian");

namespace {

// r mod d for any 32-bit r without a division (d fixed for the pass).
struct FastMod {
    uint64_t magic;
    uint32_t d;
    explicit FastMod(uint32_t divisor) : magic(~uint64_t{0} / divisor + 1), d(divisor) {}
    uint32_t operator()(uint32_t r) const {
        const uint64_t low = magic * r;
        return static_cast<uint32_t>((static_cast<unsigned __int128>(low) * d) >> 64);
    }
};

// Rows y0 to y1 - 1, drawing from g, which stands at the first draw of row y0.
void scatter_rows(const PipelineState& s, Rand48 g, int y0, int y1) {
    const FastMod mod(static_cast<uint32_t>(s.Depth));
    uint8_t* const* frames = s.sourceFrames;
    // The slots of a stretch of a row are drawn first, so that the pixels far enough ahead to
    // cover a miss can be fetched while the current one is copied. A stretch is a whole number
    // of draws.
    constexpr int kStretch = 640, kAhead = 96;  // pixels
    const uint8_t* src[kStretch + kAhead];
    for (int y = y0; y < y1; ++y) {
        uint8_t* out = s.base + y * s.rowBytes;
        const size_t row = ring_row(s, y);
        for (int x0 = 0; x0 < s.Width; x0 += kStretch) {
            const int n = s.Width - x0 < kStretch ? s.Width - x0 : kStretch;
            for (int i = 0; i < n; i += 5) {
                uint32_t r = static_cast<uint32_t>(g.next());
                const int run = n - i < 5 ? n - i : 5;
                for (int k = 0; k < run; ++k, r >>= 6) src[i + k] = frames[mod(r)] + row + 4 * (x0 + i + k);
            }
            for (int i = n; i < n + kAhead; ++i) src[i] = src[n - 1];
            for (int i = 0; i < kAhead && i < n; ++i) quad::prefetch(src[i]);
            uint8_t* o = out + 4 * x0;
            for (int i = 0; i < n; ++i) {
                quad::prefetch(src[i + kAhead]);
                uint32_t word, old;
                std::memcpy(&word, src[i], 4);
                std::memcpy(&old, o + 4 * i, 4);
                // Camera A, R, G, B into output R, G, B; the output's byte 3 is kept.
                word = (word >> 8) | (old & 0xff000000u);
                std::memcpy(o + 4 * i, &word, 4);
            }
        }
    }
}

}  // namespace

// Every row takes the same number of draws, so a band starts its own copy of the generator that
// many draws on for each row above it; the process's generator ends where one sweep leaves it.
void time_scatter_step(PipelineState& s) {
    const uint64_t drawsPerRow = (static_cast<uint64_t>(s.Width) + 4) / 5;
    const Rand48 start = wobble_rand48_state();
    run_rows(s.pool, s.Height, [&](int y0, int y1) {
        Rand48 g = start;
        g.skip(drawsPerRow * static_cast<uint64_t>(y0));
        scatter_rows(s, g, y0, y1);
    });
    Rand48 end = start;
    end.skip(drawsPerRow * static_cast<uint64_t>(s.Height > 0 ? s.Height : 0));
    wobble_set_rand48_state(end);
}
