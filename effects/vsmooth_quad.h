// SPDX-License-Identifier: MIT
// The sampler's vector kernel, inline for the effects that blend every quad of the picture.
#pragma once

#include "pipeline_state.h"
#include "quad.h"

inline void vsmooth_quad(const PipelineState& s, uint8_t* dst, const int32_t near[4], const float w[4],
                         size_t srcOffset) {
    using namespace quad;
    i4 aw, bw;
    if (near[0] == near[1] && near[0] == near[2] && near[0] == near[3]) {
        // One frame pair for the whole quad, as in most of a smoothly varying picture.
        const int32_t older = near[0] == 0 ? s.Depth - 1 : near[0] - 1;
        aw = loadu_pixels(s.sourceFrames[near[0]] + srcOffset - 1);
        bw = loadu_pixels(s.sourceFrames[older] + srcOffset - 1);
    } else {
        const uint8_t* na[4];
        const uint8_t* ob[4];
        for (int k = 0; k < 4; ++k) {
            const int32_t older = near[k] == 0 ? s.Depth - 1 : near[k] - 1;
            na[k] = s.sourceFrames[near[k]] + srcOffset + 4 * k - 1;
            ob[k] = s.sourceFrames[older] + srcOffset + 4 * k - 1;
        }
        aw = gather_words(na[0], na[1], na[2], na[3]);
        bw = gather_words(ob[0], ob[1], ob[2], ob[3]);
    }
    const f4 w4 = set4(w[0], w[1], w[2], w[3]);
    const f4 keep4 = sub(set4(1.0f), w4);
    const i4 r = round_to_int(add(mul(keep4, channel4<0>(aw)), mul(w4, channel4<0>(bw))));
    const i4 g = round_to_int(add(mul(keep4, channel4<1>(aw)), mul(w4, channel4<1>(bw))));
    const i4 b = round_to_int(add(mul(keep4, channel4<2>(aw)), mul(w4, channel4<2>(bw))));
    store_rgb(dst, r, g, b);
}
