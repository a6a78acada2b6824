// SPDX-License-Identifier: MIT
#include "ingest.h"

#include <cstring>

#include "effects.h"
#include "frame_history.h"

void ingest_frame(PipelineState& s, ViewState& v, const ViewCallbacks& cb) {
    if (s.LargeWidth < 1) return;
    if (v.count++ < 2) return;

    const uint32_t now = cb.clock ? cb.clock() : current_time_ms();
    const int t = v.timeFrames;
    if (t > 0) {
        const uint32_t start = t > 19 ? v.frameTime[v.frameTimeIndex] : v.frameTime[0];
        const uint32_t elapsed = now - start;
        if (cb.showFrameRate) cb.showFrameRate(t * 1000.0 / elapsed);
    }
    if (t < 20) v.timeFrames = t + 1;
    v.frameTime[v.frameTimeIndex] = now;
    v.frameTimeIndex = (v.frameTimeIndex + 1) % 20;

    for (int r = 0; r < s.Height; ++r) {
        std::memcpy(slot_row(s, s.SFIndex, r), s.srcData + static_cast<size_t>(r) * s.LargeSrcRowBytes,
                    s.srcRowBytes);
    }
    if (s.Depth < kHistorySlots) ++s.Depth;
    s.SFIndex = (s.SFIndex + 1) % kHistorySlots;
    if (cb.setNeedsDisplay) cb.setNeedsDisplay();
}

void init_view_state(PipelineState& s, ViewState& v, long seconds) {
    wobble_srand48(seconds);
    s.Oc11 = static_cast<int>(wobble_lrand48() % 360);
    s.Oc12 = static_cast<int>(wobble_lrand48() % 360);
    s.Oc21 = static_cast<int>(wobble_lrand48() % 360);
    s.Oc22 = static_cast<int>(wobble_lrand48() % 360);
    v.frameTimeIndex = 0;
    v.timeFrames = 0;
    v.mirrorMode = true;
}
