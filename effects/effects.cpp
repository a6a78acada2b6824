// SPDX-License-Identifier: MIT
#include "effects.h"

const EffectStep kEffectSteps[6] = {wave_time_warp_step, exposure_step,     motion_trace_step,
                                    motion_delay_step,   time_scatter_step, motion_paint_step};

namespace ref {
const EffectStep kEffectSteps[6] = {wave_time_warp_step, exposure_step,     motion_trace_step,
                                    motion_delay_step,   time_scatter_step, motion_paint_step};
}  // namespace ref
