// SPDX-License-Identifier: MIT
// Motion trace: how far the newest frame lies from the running average, times 50.
#include <cmath>
#include <cstring>

#include "effects.h"
#include "quad.h"
#include "running_average.h"

namespace {

constexpr float kTraceGain = 50.0f;

inline void trace_pixel(PipelineState& s, const uint8_t* src, uint8_t* out, int x, int y) {
    for (int c = 0; c < 3; ++c) {
        const size_t i = plane_index(s, x, y, c);
        s.fBuffer[i] = running_average(src[4 * x + 1 + c], s.fBuffer[i]);
        out[4 * x + c] = to_byte(std::fabs(s.fBuffer[i] - s.fBuffer1[i]) * kTraceGain);
    }
}

}  // namespace

namespace ref {

void motion_trace_step(PipelineState& s) {
    if (!s.fBuffer) return;
    std::memcpy(s.fBuffer1, s.fBuffer, s.planeFloats * sizeof(float));
    const uint8_t* slot = s.sourceFrames[newest_slot(s)];
    for (int y = 0; y < s.Height; ++y) {
        for (int x = 0; x < s.Width; ++x) {
            trace_pixel(s, slot + y * s.srcRowBytes, s.base + y * s.rowBytes, x, y);
        }
    }
}

}  // namespace ref

void motion_trace_step(PipelineState& s) {
    using namespace quad;
    if (!s.fBuffer) return;
    std::memcpy(s.fBuffer1, s.fBuffer, s.planeFloats * sizeof(float));
    const uint8_t* slot = s.sourceFrames[newest_slot(s)];
    const int quadEnd = s.Width & ~3;
    const f4 gain = set4(kTraceGain);
    for (int y = 0; y < s.Height; ++y) {
        const uint8_t* src = slot + y * s.srcRowBytes;
        uint8_t* out = s.base + y * s.rowBytes;
        const size_t row = plane_index(s, 0, y, 0);
        float* a = s.fBuffer + row;
        const float* p = s.fBuffer1 + row;
        for (int x = 0; x < quadEnd; x += 4, a += 12, p += 12) {
            const Quad3 avg = update_average4(camera_quad(src + 4 * x), a);
            store_rgb(out + 4 * x, round_to_int(mul(vfabf(sub(avg.r, load4(p))), gain)),
                      round_to_int(mul(vfabf(sub(avg.g, load4(p + 4))), gain)),
                      round_to_int(mul(vfabf(sub(avg.b, load4(p + 8))), gain)));
        }
        for (int x = quadEnd; x < s.Width; ++x) trace_pixel(s, src, out, x, y);
    }
}
