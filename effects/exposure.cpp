// SPDX-License-Identifier: MIT
// Exposure: the running average itself, a long exposure of the scene.
#include "effects.h"
#include "quad.h"
#include "row_pool.h"
#include "running_average.h"

namespace {

inline void exposure_pixel(PipelineState& s, const uint8_t* src, uint8_t* out, int x, int y) {
    for (int c = 0; c < 3; ++c) {
        float& a = s.fBuffer[plane_index(s, x, y, c)];
        a = running_average(src[4 * x + 1 + c], a);
        out[4 * x + c] = to_byte(a);
    }
}

}  // namespace

namespace ref {

void exposure_step(PipelineState& s) {
    if (!s.fBuffer) return;
    const int newest = newest_slot(s);
    for (int y = 0; y < s.Height; ++y) {
        for (int x = 0; x < s.Width; ++x) {
            exposure_pixel(s, slot_row(s, newest, y), s.base + y * s.rowBytes, x, y);
        }
    }
}

}  // namespace ref

namespace {

void exposure_rows(PipelineState& s, int newest, int y0, int y1) {
    using namespace quad;
    const int quadEnd = s.Width & ~3;
    for (int y = y0; y < y1; ++y) {
        const uint8_t* src = slot_row(s, newest, y);
        if (y + 1 < y1) prefetch_row(slot_row(s, newest, y + 1), s.srcRowBytes);
        uint8_t* out = s.base + y * s.rowBytes;
        float* a = s.fBuffer + plane_index(s, 0, y, 0);
        for (int x = 0; x < quadEnd; x += 4, a += 12) {
            Quad3 before;
            const Quad3 avg = update_average4(camera_quad(src + 4 * x), a, before);
            store_rgb(out + 4 * x, round_to_int(avg.r), round_to_int(avg.g), round_to_int(avg.b));
        }
        for (int x = quadEnd; x < s.Width; ++x) exposure_pixel(s, src, out, x, y);
    }
}

}  // namespace

void exposure_step(PipelineState& s) {
    if (!s.fBuffer) return;
    const int newest = newest_slot(s);
    run_rows(s.pool, s.Height, [&](int y0, int y1) { exposure_rows(s, newest, y0, y1); });
}
