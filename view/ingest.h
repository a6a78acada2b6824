// SPDX-License-Identifier: MIT
// Taking in one camera frame: the frame-rate readout and the copy into the history ring.
#pragma once

#include <cstdint>
#include <functional>

#include "pipeline_state.h"

struct ViewCallbacks {
    std::function<uint32_t()> clock;            // ms; current_time_ms when empty
    std::function<void(double)> showFrameRate;  // frames per second for the readout
    std::function<void()> setNeedsDisplay;      // asks for a render pass
};

// The body of MyMovieDrawingCompleteMethod: called once for every completed frame in the
// camera buffer. The first two deliveries after launch are dropped.
void ingest_frame(PipelineState& s, ViewState& v, const ViewCallbacks& cb);

// The view's initialisation: seeds the random generator with calendar time `seconds`, draws
// the four wave phases and turns mirroring on.
void init_view_state(PipelineState& s, ViewState& v, long seconds);
