// SPDX-License-Identifier: MIT
// The camera functions of a build without a camera layer: no grabber can be opened.
#include "QTMovie.h"
#include "error_msg.h"

bool setup_camera(PipelineState&, CaptureState&) {
    error_msg("OpenDefaultComponent SeqGrabComponentType", 0);
    return false;
}

bool install_grab_complete(CaptureState& c, FrameReceiver* view) {
    c.refCon = view;
    return true;
}

bool start_camera(CaptureState&) {
    error_msg("SGStartPreview", -1);
    return false;
}

void camera_idle(CaptureState&) {}
