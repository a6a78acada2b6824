// SPDX-License-Identifier: MIT
#include "grabber.h"

#include "error_msg.h"
#include "pipeline_state.h"

void change_camera_size(PipelineState& s, bool restart) {
    Rect16 bounds;
    bounds.bottom = static_cast<int16_t>(s.Height);
    bounds.right = static_cast<int16_t>(s.Width);
    Grabber* g = s.grabber;
    if (!g) return;
    if (restart) {
        if (int16_t err = g->stop()) {
            error_msg("SGStop", err);
            return;
        }
    }
    if (int16_t err = g->setChannelBounds(bounds)) {
        error_msg("SGSetChannelBounds", err);
        return;
    }
    if (restart) {
        if (int16_t err = g->startPreview()) error_msg("SGStartPreview", err);
    }
}

Rect16 camera_frame_rect(const Rect16& native, int maxHeight) {
    Rect16 r = native;
    if (r.bottom > maxHeight) {
        r.right = static_cast<int16_t>(r.right * maxHeight / r.bottom);
        r.bottom = static_cast<int16_t>(maxHeight);
    }
    return r;
}
