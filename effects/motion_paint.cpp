// SPDX-License-Identifier: MIT
// Motion paint: wherever the scene changes, the camera colour is painted into a picture of the
// effect's own, whose paint spreads a little into the neighbours in every pass.
#include <cmath>
#include <cstring>

#include "effects.h"
#include "quad.h"
#include "row_pool.h"
#include "running_average.h"

namespace {

constexpr float kDiffusion = 0.2499f;
constexpr float kWeightGain = 0.2f;
constexpr float kWeightOffset = -0.4f;

inline float flux(float a, float b) { return kDiffusion * (a - b); }

// Horizontal step at pixel x of one channel: (paint + flux from the left) - flux to the right.
// C is the paint copy, P the paint plane.
inline void sweep_pixel(const PipelineState& s, const float* C, float* P, int x, int y, int c) {
    const size_t i = plane_index(s, x, y, c);
    const float left = x > 0 ? flux(C[plane_index(s, x - 1, y, c)], C[i]) : 0.0f;
    const float right = x + 1 < s.Width ? flux(C[i], C[plane_index(s, x + 1, y, c)]) : 0.0f;
    P[i] = (P[i] + left) - right;
}

// Vertical step between rows y - 1 and y at pixel x, channel c.
inline void vertical_pixel(const PipelineState& s, const float* C, float* P, int x, int y, int c) {
    const size_t up = plane_index(s, x, y - 1, c), i = plane_index(s, x, y, c);
    const float e = flux(C[up], C[i]);
    P[up] = P[up] - e;
    P[i] = P[i] + e;
}

// Updates the average at one pixel, paints and writes it.
inline void paint_pixel(PipelineState& s, const uint8_t* src, uint8_t* out, int x, int y) {
    float m = 0.0f;
    for (int c = 0; c < 3; ++c) m += update_average(s.fBuffer[plane_index(s, x, y, c)], src[4 * x + 1 + c]);
    float w = m * kWeightGain + kWeightOffset;
    w = w > 0.0f ? w : 0.0f;
    w = w < 1.0f ? w : 1.0f;
    for (int c = 0; c < 3; ++c) {
        float& p = s.fBuffer2[plane_index(s, x, y, c)];
        p = w * static_cast<float>(src[4 * x + 1 + c]) + (1.0f - w) * p;
        out[4 * x + c] = to_byte(p);
    }
}

// The diffusion reads the paint as it stood before the pass (the copy in fBuffer3). The change
// of the average is taken from the value before each update, so it needs no copy.
void copy_paint(PipelineState& s) { std::memcpy(s.fBuffer3, s.fBuffer2, s.planeFloats * sizeof(float)); }

}  // namespace

namespace ref {

void motion_paint_step(PipelineState& s) {
    if (!s.fBuffer) return;
    copy_paint(s);
    const int newest = newest_slot(s);
    for (int y = 0; y < s.Height; ++y) {
        for (int c = 0; c < 3; ++c) {
            for (int x = 0; x < s.Width; ++x) sweep_pixel(s, s.fBuffer3, s.fBuffer2, x, y, c);
        }
    }
    for (int y = 1; y < s.Height; ++y) {
        for (int x = 0; x < s.Width; ++x) {
            for (int c = 0; c < 3; ++c) vertical_pixel(s, s.fBuffer3, s.fBuffer2, x, y, c);
        }
    }
    for (int y = 0; y < s.Height; ++y) {
        for (int x = 0; x < s.Width; ++x) {
            paint_pixel(s, slot_row(s, newest, y), s.base + y * s.rowBytes, x, y);
        }
    }
}

}  // namespace ref

namespace {

// The diffusion of row y in one sweep: the horizontal step, then the flux from the row above,
// then the flux to the row below, every flux from the copy C. Each value takes the same sums in
// the same order as the whole-picture sweeps of the scalar kernel, where the pair (y - 1, y)
// comes before the pair (y, y + 1); so the rows are independent once the copy is made.
void diffuse_row(const PipelineState& s, const float* C, float* P, int y, int quadEnd) {
    using namespace quad;
    const f4 k = set4(kDiffusion);
    const size_t row = plane_index(s, 0, y, 0), rowFloats = 3 * static_cast<size_t>(s.planeWidth);
    const bool up = y > 0, down = y + 1 < s.Height;
    for (int c = 0; c < 3; ++c) {
        f4 prevFlux = zero4();
        for (int x = 0; x < quadEnd; x += 4) {
            const size_t i = row + 3 * x + 4 * c;
            const f4 c4 = load4(C + i);
            // Lane 3's right neighbour is lane 0 of the next quad; the row's last pixel has none.
            const f4 right = x + 4 < s.Width ? mul(k, sub(c4, shift_out4(c4, load4(C + i + 12))))
                                             : mul(k, sub(c4, shift_out4(c4, set4(lane(c4, 3)))));
            f4 v = sub(add(load4(P + i), shift_in4(right, prevFlux)), right);
            if (up) v = add(v, mul(k, sub(load4(C + i - rowFloats), c4)));
            if (down) v = sub(v, mul(k, sub(c4, load4(C + i + rowFloats))));
            store4(P + i, v);
            prevFlux = right;
        }
        for (int x = quadEnd; x < s.Width; ++x) {
            sweep_pixel(s, C, P, x, y, c);
            const size_t i = plane_index(s, x, y, c);
            if (up) P[i] = P[i] + flux(C[i - rowFloats], C[i]);
            if (down) P[i] = P[i] - flux(C[i], C[i + rowFloats]);
        }
    }
}

// Blends the newest frame into the paint of row y by the change of the average, and draws it.
void paint_row(PipelineState& s, const uint8_t* src, int y, int quadEnd) {
    using namespace quad;
    const f4 gain = set4(kWeightGain), offset = set4(kWeightOffset);
    const f4 zero = zero4(), one = set4(1.0f);
    uint8_t* out = s.base + y * s.rowBytes;
    const size_t row = plane_index(s, 0, y, 0);
    float* a = s.fBuffer + row;
    float* p = s.fBuffer2 + row;
    for (int x = 0; x < quadEnd; x += 4, a += 12, p += 12) {
        const Quad3 sample = camera_quad(src + 4 * x);
        Quad3 before;
        const Quad3 avg = update_average4(sample, a, before);
        const f4 m = average_change4(avg, before);
        const f4 w = min4(max4(add(mul(m, gain), offset), zero), one);
        const f4 keep = sub(one, w);
        const f4 pr = add(mul(w, sample.r), mul(keep, load4(p)));
        const f4 pg = add(mul(w, sample.g), mul(keep, load4(p + 4)));
        const f4 pb = add(mul(w, sample.b), mul(keep, load4(p + 8)));
        store4(p, pr);
        store4(p + 4, pg);
        store4(p + 8, pb);
        store_rgb(out + 4 * x, round_to_int(pr), round_to_int(pg), round_to_int(pb));
    }
    for (int x = quadEnd; x < s.Width; ++x) paint_pixel(s, src, out, x, y);
}

}  // namespace

// The copy first, in bands; once every band has copied, each row is diffused and painted.
void motion_paint_step(PipelineState& s) {
    if (!s.fBuffer) return;
    const size_t rowFloats = 3 * static_cast<size_t>(s.planeWidth);
    run_rows(s.pool, s.Height, [&](int y0, int y1) {
        std::memcpy(s.fBuffer3 + y0 * rowFloats, s.fBuffer2 + y0 * rowFloats,
                    (y1 - y0) * rowFloats * sizeof(float));
    });
    const int newest = newest_slot(s);
    const int quadEnd = s.Width & ~3;
    run_rows(s.pool, s.Height, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            if (y + 1 < y1) quad::prefetch_row(slot_row(s, newest, y + 1), s.srcRowBytes);
            diffuse_row(s, s.fBuffer3, s.fBuffer2, y, quadEnd);
            paint_row(s, slot_row(s, newest, y), y, quadEnd);
        }
    });
}
