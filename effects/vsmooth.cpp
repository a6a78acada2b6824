// SPDX-License-Identifier: MIT
// The temporal sampler: a pixel blended from two consecutive frames of the history ring.
#include <cstdlib>

#include "effects.h"
#include "quad.h"
#include "running_average.h"
#include "vsmooth_quad.h"

namespace ref {

// The older frame of slot i is slot i - 1, and of slot 0 the last slot in use.
void vsmooth_pixel(const PipelineState& s, uint8_t* dst, int32_t near, float w, size_t srcOffset) {
    const uint32_t older = (static_cast<uint32_t>(near) + s.Depth - 1) % static_cast<uint32_t>(s.Depth);
    const uint8_t* a = s.sourceFrames[near] + srcOffset;
    const uint8_t* b = s.sourceFrames[older] + srcOffset;
    for (int c = 0; c < 3; ++c) dst[c] = to_byte((1.0f - w) * a[c] + w * b[c]);
}

}  // namespace ref

void vsmooth(const PipelineState& s, uint8_t* dst, const int32_t near[4], const float w[4],
             size_t srcOffset) {
    vsmooth_quad(s, dst, near, w, srcOffset);
}
