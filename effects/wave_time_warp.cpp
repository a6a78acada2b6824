// SPDX-License-Identifier: MIT
// Wave time warp: the delay of each pixel is a slowly tilting plane over the picture, folded
// into the history and blended between frames.
#include <cmath>

#include "effects.h"
#include "quad.h"
#include "row_pool.h"
#include "vsmooth_quad.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kPrefetchRows = 2;  // how far ahead the frames of the rows below are fetched

struct WaveFrame {
    float halfH;
    float kY;    // row slope
    float tt1;   // TT + 1
    int newestBase;  // (SFIndex + Depth - 1) mod Depth
};

// Advances the phases, computes Theta, Phi and TT and fills the per-column table.
WaveFrame wave_prepare(PipelineState& s) {
    const float halfW = static_cast<float>(s.Width) * 0.5f;
    const float halfH = static_cast<float>(s.Height) * 0.5f;
    s.Oc11 = (s.Oc11 + 7) % 3600;
    s.Oc12 = (s.Oc12 + 17) % 3600;
    s.Oc21 = (s.Oc21 + 13) % 3600;
    s.Oc22 = (s.Oc22 + 23) % 3600;
    const float a11 = static_cast<float>(s.Oc11 * kPi / 1800.0);
    const float a12 = static_cast<float>(s.Oc12 * kPi / 1800.0);
    const float a21 = static_cast<float>(s.Oc21 * kPi / 1800.0);
    const float a22 = static_cast<float>(s.Oc22 * kPi / 1800.0);
    // The first product of each line in single precision, the rest in double.
    s.Theta = static_cast<float>((std::sin(a11) * 0.7f + std::sin(a12) * 0.3) * kPi * 0.45);
    s.Phi = static_cast<float>((std::cos(a11) * 0.6f + std::cos(a12) * 0.4) * kPi * 0.45);
    s.TT = static_cast<float>((std::cos(a21) * 0.8f + std::cos(a22) * 0.2) * 0.5);

    const float sT = std::sin(s.Theta);
    const float kY = std::cos(s.Theta) * std::sin(s.Phi);
    for (int x = 0; x < s.planeWidth; ++x) {
        s.hnalalaaxc[x] = (static_cast<float>(x) / halfW - 1.0f) * sT;
    }
    return {halfH, kY, s.TT + 1.0f, (s.SFIndex + s.Depth - 1) % s.Depth};
}

// Near slot and weight of one pixel.
inline void wave_pixel(const PipelineState& s, const WaveFrame& f, float rowTerm, int x,
                       int32_t& near, float& w) {
    const float t = std::fabs(((rowTerm + s.hnalalaaxc[x]) + f.tt1) * 0.5f);
    const float fl = std::floor(t);
    const float u = (static_cast<int32_t>(fl) & 1) ? (fl + 1.0f) - t : t - fl;
    const float d = static_cast<float>(s.Depth - 1) * u;
    const float n = std::floor(d);
    w = d - n;
    near = f.newestBase - static_cast<int32_t>(n);
    if (near < 0) near += s.Depth;
}

}  // namespace

namespace ref {

void wave_time_warp_step(PipelineState& s) {
    const WaveFrame f = wave_prepare(s);
    for (int y = 0; y < s.Height; ++y) {
        const float rowTerm = (static_cast<float>(y) / f.halfH - 1.0f) * f.kY;
        for (int x = 0; x < s.Width; ++x) {
            int32_t near;
            float w;
            wave_pixel(s, f, rowTerm, x, near, w);
            vsmooth_pixel(s, s.base + 4 * x, near, w, ring_row(s, y) + 4 * x + 1);
        }
        s.base += s.rowBytes;
    }
}

}  // namespace ref

namespace {

void wave_rows(const PipelineState& s, const WaveFrame& f, uint8_t* base, int y0, int y1) {
    using namespace quad;
    const int quadEnd = s.Width & ~3;
    const f4 tt1 = set4(f.tt1), half = set4(0.5f), one = set4(1.0f);
    const f4 depthm1 = set4(static_cast<float>(s.Depth - 1));
    alignas(16) int32_t near[4];
    alignas(16) float w[4];
    for (int y = y0; y < y1; ++y) {
        uint8_t* out = base + y * s.rowBytes;
        const float rowTerm = (static_cast<float>(y) / f.halfH - 1.0f) * f.kY;
        const f4 row4 = set4(rowTerm);
        const size_t srcRow = ring_row(s, y) + 1;
        for (int x = 0; x < quadEnd; x += 4) {
            const f4 t = vfabf(mul(add(add(row4, load4(s.hnalalaaxc + x)), tt1), half));
            const f4 fl = floor4(t);
            const f4 u = select_odd(truncate_to_int(fl), sub(add(fl, one), t), sub(t, fl));
            const f4 d = mul(depthm1, u);
            const f4 n = floor4(d);
            store4(w, sub(d, n));
            store_ints(near, truncate_to_int(n));
            for (int k = 0; k < 4; ++k) {
                near[k] = f.newestBase - near[k];
                if (near[k] < 0) near[k] += s.Depth;
            }
            // The delay drifts slowly down the picture: the rows below will want the same frames.
            if (y + kPrefetchRows < y1) {
                const size_t ahead = srcRow + 4 * x + ring_row(s, kPrefetchRows);
                prefetch(s.sourceFrames[near[0]] + ahead);
                prefetch(s.sourceFrames[near[0] == 0 ? s.Depth - 1 : near[0] - 1] + ahead);
            }
            vsmooth_quad(s, out + 4 * x, near, w, srcRow + 4 * x);
        }
        for (int x = quadEnd; x < s.Width; ++x) {
            int32_t n1;
            float w1;
            wave_pixel(s, f, rowTerm, x, n1, w1);
            ref::vsmooth_pixel(s, out + 4 * x, n1, w1, srcRow + 4 * x);
        }
    }
}

}  // namespace

// The phases and the column table are worked out once, on the caller; the rows then in bands.
void wave_time_warp_step(PipelineState& s) {
    const WaveFrame f = wave_prepare(s);
    uint8_t* base = s.base;
    run_rows(s.pool, s.Height, [&](int y0, int y1) { wave_rows(s, f, base, y0, y1); });
    s.base += static_cast<ptrdiff_t>(s.Height) * s.rowBytes;
}
