// SPDX-License-Identifier: MIT
// A camera that goes away: noticing it, and opening the same source again until it is back.
#include <mutex>
#include <thread>

#include "QTMovie.h"
#include "av_camera.h"
#include "pipeline_state.h"
#include "seq_grabber.h"

// One attempt to open the camera again, made on its own thread and collected by the idle call.
struct ReopenJob {
    std::mutex m;
    bool done = false;
    std::shared_ptr<SeqGrabber> grabber;  // opened, initialised, with its channel; null on failure
    SGChannel channel = nullptr;
};

namespace {

using Clock = std::chrono::steady_clock;

void lose_camera(CaptureState& c, Clock::time_point now) {
    // The old camera is let go at once, so that its device or pipe is free for the reopening.
    // Its reader may still be blocked in a read on a pipe: it is ended on a thread of its own.
    c.theSeqGrabber->stop();
    std::thread([old = std::move(c.theSeqGrabber)] { old->close(); }).detach();
    c.theVideoChannel = nullptr;
    c.cameraLost = true;
    if (c.pipeline) c.pipeline->grabber = nullptr;
    c.nextReopen = now + kReopenInterval;
}

void start_reopen(CaptureState& c) {
    auto job = std::make_shared<ReopenJob>();
    c.reopen = job;
    std::thread([job, source = c.cameraSource, maxHeight = c.maxHeight] {
        std::shared_ptr<SeqGrabber> g = SeqGrabber::open(source, nullptr, maxHeight);
        SGChannel channel = nullptr;
        if (g && (g->initialize() != 0 || g->newChannel(kVideoMediaType, &channel) != 0)) g.reset();
        std::lock_guard<std::mutex> lk(job->m);
        job->grabber = std::move(g);
        job->channel = channel;
        job->done = true;
    }).detach();  // the job is all it touches; at exit it may be left waiting on a pipe
}

// Wires a freshly opened grabber as setup_camera and setupCameraProcs did the first one, at
// the working size and into the same camera buffer. False leaves the old state alone.
bool attach(CaptureState& c, const std::shared_ptr<SeqGrabber>& g, SGChannel ch) {
    const PipelineState& s = *c.pipeline;
    Rect16 bounds;
    bounds.bottom = static_cast<int16_t>(s.Height);
    bounds.right = static_cast<int16_t>(s.Width);
    VideoBottlenecks procs;
    procs.procCount = 9;
    if (g->setChannelUsage(ch, kSeqGrabPreview) || g->setChannelBounds(ch, bounds) ||
        g->setGWorld(c.theGWorld.get()) || g->setChannelRefCon(ch, c.refCon) ||
        g->getVideoBottlenecks(ch, procs))
        return false;
    procs.grabCompleteProc = MyGrabCompleteFunction;
    if (g->setVideoBottlenecks(ch, procs) || g->startPreview()) return false;
    return true;
}

void poll_reopen(CaptureState& c, Clock::time_point now) {
    if (c.reopen) {
        std::shared_ptr<SeqGrabber> g;
        SGChannel ch = nullptr;
        {
            std::lock_guard<std::mutex> lk(c.reopen->m);
            if (!c.reopen->done) return;
            g = std::move(c.reopen->grabber);
            ch = c.reopen->channel;
        }
        c.reopen.reset();
        if (!g || !c.pipeline || !c.theGWorld || !attach(c, g, ch)) return;
        c.theSeqGrabber = g;
        c.theVideoChannel = ch;
        c.pipeline->grabber = g.get();
        c.cameraLost = false;
        c.lastPicture = now;
        c.picturesSeen = g->picturesDrawn();
        return;
    }
    if (now < c.nextReopen) return;
    c.nextReopen = now + kReopenInterval;
    start_reopen(c);
}

}  // namespace

void camera_idle_at(CaptureState& c, Clock::time_point now) {
    if (c.cameraLost) return poll_reopen(c, now);
    SeqGrabber* g = c.theSeqGrabber.get();
    if (!g || !g->previewing()) return;
    // The grabber's status is not acted on, but for the end of its input: a frame that did not
    // complete is simply not ingested, and the next tick tries again.
    const int16_t status = SGIdle(g);
    if (g->picturesDrawn() != c.picturesSeen) {
        c.picturesSeen = g->picturesDrawn();
        c.lastPicture = now;
    }
    if (status == kCameraEndedErr || now - c.lastPicture >= kCameraSilence) lose_camera(c, now);
}
