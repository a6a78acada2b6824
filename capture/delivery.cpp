// SPDX-License-Identifier: MIT
// Frame delivery: the idle call and the grab-complete callback, both on the main thread.
#include "QTMovie.h"
#include "seq_grabber.h"

int16_t MyGrabCompleteFunction(SGChannel c, int16_t bufferNum, uint8_t* done, void* refCon) {
    const int16_t status = SGGrabFrameComplete(c, bufferNum, done);
    if (status == 0 && *done && refCon)
        static_cast<FrameReceiver*>(refCon)->MyMovieDrawingCompleteMethod();
    return status;
}

void camera_idle(CaptureState& c) {
    camera_idle_at(c, std::chrono::steady_clock::now());
}
