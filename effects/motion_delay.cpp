// SPDX-License-Identifier: MIT
// Motion-driven delay: each pixel lags behind by an amount that grows with the recent change of
// the running average there, smoothed over its neighbours.
#include <cmath>
#include <cstring>

#include "effects.h"
#include "quad.h"
#include "row_pool.h"
#include "vsmooth_quad.h"
#include "running_average.h"

namespace {

constexpr float kDiffusion = 0.2499f;
constexpr float kMeasureScale = 0.1f;  // a measure of 10 or more gives the largest delay
constexpr int kPrefetchRows = 2;  // how far ahead the frames of the rows below are fetched

// The motion measure is one float per pixel, rows planeWidth apart, in fBuffer3.
inline float* measure_row(const PipelineState& s, float* plane, int y) {
    return plane + static_cast<size_t>(y) * s.planeWidth;
}

// The measure is how far the average moved in this pass, from where it stood before it.
inline void measure_pixel(PipelineState& s, const uint8_t* src, int x, int y) {
    float m = 0.0f;
    for (int c = 0; c < 3; ++c) m += update_average(s.fBuffer[plane_index(s, x, y, c)], src[4 * x + 1 + c]);
    measure_row(s, s.fBuffer3, y)[x] = m;
}

// Flux between neighbours a and b, taken from the copy.
inline float flux(float a, float b) { return kDiffusion * (a - b); }

// One pixel of the horizontal sweep: (m - flux to the right) + flux from the left.
inline void sweep_pixel(const PipelineState& s, const float* c, float* m, int x) {
    const float right = flux(c[x], x + 1 < s.Width ? c[x + 1] : c[x]);
    const float left = x > 0 ? flux(c[x - 1], c[x]) : 0.0f;
    m[x] = (m[x] - right) + left;
}

// Vertical sweep between rows y - 1 and y at column x.
inline void vertical_pixel(float* mUp, float* m, const float* cUp, const float* c, int x) {
    const float d = flux(cUp[x], c[x]);
    mUp[x] = mUp[x] - d;
    m[x] = d + m[x];
}

// Near slot and weight of one pixel from its smoothed measure.
inline void delay_of(const PipelineState& s, int newestBase, float m, int32_t& near, float& w) {
    const float scaled = m * kMeasureScale;
    const float d = (scaled < 1.0f ? scaled : 1.0f) * static_cast<float>(s.Depth - 1);
    const float n = std::floor(d);
    w = d - n;
    near = newestBase - static_cast<int32_t>(n);
    if (near < 0) near += s.Depth;
}

void copy_measure(PipelineState& s) {
    std::memcpy(s.fBuffer1, s.fBuffer3, static_cast<size_t>(s.planeWidth) * s.Height * sizeof(float));
}

}  // namespace

namespace ref {

void motion_delay_step(PipelineState& s) {
    if (!s.fBuffer) return;
    const int newest = newest_slot(s);
    for (int y = 0; y < s.Height; ++y) {
        for (int x = 0; x < s.Width; ++x) measure_pixel(s, slot_row(s, newest, y), x, y);
    }
    for (int step = 0; step < 2; ++step) {
        copy_measure(s);
        for (int y = 0; y < s.Height; ++y) {
            const float* c = measure_row(s, s.fBuffer1, y);
            float* m = measure_row(s, s.fBuffer3, y);
            for (int x = 0; x < s.Width; ++x) sweep_pixel(s, c, m, x);
        }
        for (int y = 1; y < s.Height; ++y) {
            for (int x = 0; x < s.Width; ++x) {
                vertical_pixel(measure_row(s, s.fBuffer3, y - 1), measure_row(s, s.fBuffer3, y),
                               measure_row(s, s.fBuffer1, y - 1), measure_row(s, s.fBuffer1, y), x);
            }
        }
    }
    const int newestBase = newest % s.Depth;
    for (int y = 0; y < s.Height; ++y) {
        const float* m = measure_row(s, s.fBuffer3, y);
        for (int x = 0; x < s.Width; ++x) {
            int32_t near;
            float w;
            delay_of(s, newestBase, m[x], near, w);
            vsmooth_pixel(s, s.base + y * s.rowBytes + 4 * x, near, w, ring_row(s, y) + 4 * x + 1);
        }
    }
}

}  // namespace ref

namespace {

using namespace quad;

void measure_rows(PipelineState& s, int newest, int y0, int y1) {
    const int quadEnd = s.Width & ~3;
    for (int y = y0; y < y1; ++y) {
        const uint8_t* src = slot_row(s, newest, y);
        if (y + 1 < y1) prefetch_row(slot_row(s, newest, y + 1), s.srcRowBytes);
        float* a = s.fBuffer + plane_index(s, 0, y, 0);
        float* m = measure_row(s, s.fBuffer3, y);
        for (int x = 0; x < quadEnd; x += 4, a += 12) {
            Quad3 before;
            const Quad3 avg = update_average4(camera_quad(src + 4 * x), a, before);
            store4(m + x, average_change4(avg, before));
        }
        for (int x = quadEnd; x < s.Width; ++x) measure_pixel(s, src, x, y);
    }
}

// Row y of one diffusion step from the plane `from` into the plane `to`, in one sweep:
// ((c - flux to the right) + flux from the left), then + flux from above, then - flux to below,
// every flux taken from `from` — the same sums, in the same order, as sweeping in place over a
// copy. Reads rows y - 1 to y + 1 of `from`.
void diffuse_row(const PipelineState& s, const float* from, float* to, int y) {
    const int quadEnd = s.Width & ~3;
    const f4 k = set4(kDiffusion);
    const float* c = from + static_cast<size_t>(y) * s.planeWidth;
    const float* up = y > 0 ? c - s.planeWidth : nullptr;
    const float* down = y + 1 < s.Height ? c + s.planeWidth : nullptr;
    float* m = to + static_cast<size_t>(y) * s.planeWidth;
    f4 prevFlux = zero4();
    for (int x = 0; x < quadEnd; x += 4) {
        const f4 c4 = load4(c + x);
        const f4 next = x + 4 < s.Width ? load4(c + x + 4) : set4(c[x + 3]);
        const f4 right = mul(k, sub(c4, shift_out4(c4, next)));
        f4 v = add(sub(c4, right), shift_in4(right, prevFlux));
        if (up) v = add(mul(k, sub(load4(up + x), c4)), v);
        if (down) v = sub(v, mul(k, sub(c4, load4(down + x))));
        store4(m + x, v);
        prevFlux = right;
    }
    for (int x = quadEnd; x < s.Width; ++x) {
        const float right = flux(c[x], x + 1 < s.Width ? c[x + 1] : c[x]);
        const float left = x > 0 ? flux(c[x - 1], c[x]) : 0.0f;
        float v = (c[x] - right) + left;
        if (up) v = flux(up[x], c[x]) + v;
        if (down) v = v - flux(c[x], down[x]);
        m[x] = v;
    }
}

// Row y of the picture from its smoothed measure.
void delay_row(const PipelineState& s, int newestBase, int y) {
    const int quadEnd = s.Width & ~3;
    const f4 scale = set4(kMeasureScale), one = set4(1.0f);
    const f4 depthm1 = set4(static_cast<float>(s.Depth - 1));
    // The frames of a stretch of a row are worked out first, so that the pixels a few quads
    // ahead can be fetched while the current quad is blended: in a busy scene neighbouring
    // pixels lag by different amounts and read frames all over the history.
    constexpr int kStretch = 512, kAhead = 8;  // pixels; quads
    alignas(16) int32_t near[kStretch];
    alignas(16) float w[kStretch];
    const float* m = measure_row(s, s.fBuffer3, y);
    uint8_t* out = s.base + y * s.rowBytes;
    const size_t srcRow = ring_row(s, y) + 1;
    for (int x0 = 0; x0 < quadEnd; x0 += kStretch) {
        const int n = quadEnd - x0 < kStretch ? quadEnd - x0 : kStretch;
        for (int i = 0; i < n; i += 4) {
            const f4 d = mul(min4(mul(load4(m + x0 + i), scale), one), depthm1);
            const f4 whole = floor4(d);
            store4(w + i, sub(d, whole));
            store_ints(near + i, slots_back(newestBase, truncate_to_int(whole), s.Depth));
        }
        for (int i = 0; i < n; i += 4) {
            if (i + 4 * kAhead < n) {
                const int ahead = i + 4 * kAhead;
                const size_t offset = srcRow + 4 * (x0 + ahead) - 1;
                for (int k = 0; k < 4; ++k) {
                    const int32_t slot = near[ahead + k];
                    prefetch(s.sourceFrames[slot] + offset + 4 * k);
                    prefetch(s.sourceFrames[slot == 0 ? s.Depth - 1 : slot - 1] + offset + 4 * k);
                }
            }
            vsmooth_quad(s, out + 4 * (x0 + i), near + i, w + i, srcRow + 4 * (x0 + i));
        }
    }
    for (int x = quadEnd; x < s.Width; ++x) {
        int32_t n1;
        float w1;
        delay_of(s, newestBase, m[x], n1, w1);
        ref::vsmooth_pixel(s, out + 4 * x, n1, w1, srcRow + 4 * x);
    }
}

}  // namespace

// Each diffusion step reads the neighbouring rows of the step before, so the bands meet after
// the measure and after the first step; the second step and the picture go row by row.
void motion_delay_step(PipelineState& s) {
    if (!s.fBuffer) return;
    const int newest = newest_slot(s);
    const int newestBase = newest % s.Depth;
    run_rows(s.pool, s.Height, [&](int y0, int y1) { measure_rows(s, newest, y0, y1); });
    run_rows(s.pool, s.Height, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) diffuse_row(s, s.fBuffer3, s.fBuffer1, y);
    });
    run_rows(s.pool, s.Height, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            diffuse_row(s, s.fBuffer1, s.fBuffer3, y);
            delay_row(s, newestBase, y);
        }
    });
}
