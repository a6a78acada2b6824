// SPDX-License-Identifier: MIT
// The time effects. Each step fills bytes 0..2 of every output pixel of the working size through
// base and rowBytes and never writes byte 3. The render pass is their only caller.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pipeline_state.h"

using EffectStep = void (*)(PipelineState&);

void wave_time_warp_step(PipelineState& s);
void exposure_step(PipelineState& s);
void motion_trace_step(PipelineState& s);
void motion_delay_step(PipelineState& s);
void time_scatter_step(PipelineState& s);
void motion_paint_step(PipelineState& s);

// By mode index; index 5 is motion paint.
extern const EffectStep kEffectSteps[6];

// Blends four pixels of one row from two consecutive history frames: pixel k from the slot
// near[k] with weight 1 - w[k] and the frame captured just before it with weight w[k].
// dst is the output pixel of the quad's first pixel; srcOffset the red byte of that pixel
// within a history frame. Requires 0 <= near[k] < Depth and 0 <= w[k] < 1.
void vsmooth(const PipelineState& s, uint8_t* dst, const int32_t near[4], const float w[4],
             size_t srcOffset);

// The plain per-pixel statements of the same rules. The vector steps must match them byte for
// byte on every input.
namespace ref {
void vsmooth_pixel(const PipelineState& s, uint8_t* dst, int32_t near, float w, size_t srcOffset);
void wave_time_warp_step(PipelineState& s);
void exposure_step(PipelineState& s);
void motion_trace_step(PipelineState& s);
void motion_delay_step(PipelineState& s);
void time_scatter_step(PipelineState& s);
void motion_paint_step(PipelineState& s);
extern const EffectStep kEffectSteps[6];
}  // namespace ref

// The process's 48-bit random generator (the POSIX srand48/lrand48 sequence).
void wobble_srand48(long seed);
long wobble_lrand48();

// A copy of the generator's state that a thread steps on its own.
struct Rand48 {
    uint64_t x;
    long next() {
        x = (0x5deece66dULL * x + 0xb) & 0xffffffffffffULL;
        return static_cast<long>(x >> 17);
    }
    // Moves on by n draws in O(log n) steps.
    void skip(uint64_t n);
};
Rand48 wobble_rand48_state();
void wobble_set_rand48_state(Rand48 r);
