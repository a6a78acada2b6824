// SPDX-License-Identifier: MIT
// Opening the camera, its buffer and its callback, and starting the preview.
#include <new>
#include <optional>

#include "QTMovie.h"
#include "av_camera.h"
#include "error_msg.h"
#include "frame_history.h"
#include "pipeline_state.h"
#include "seq_grabber.h"

namespace {

bool fail(const char* text, int16_t code, const std::string& cause = std::string()) {
    error_msg(text, code, cause);
    return false;
}

}  // namespace

const char* const kCameraSourceHelp =
    "  SOURCE is a device path (/dev/video1), a video file (played at its own rate,\n"
    "  over and over), lavfi:GRAPH (a libavfilter source, e.g.\n"
    "  lavfi:testsrc2=size=1280x720:rate=30), demo (a built-in moving scene,\n"
    "  640 x 480 at 30 frames per second), or v4l2:, avfoundation:, dshow: followed\n"
    "  by a device name. Without --camera the first camera found is used.\n";

bool setup_camera(PipelineState& s, CaptureState& c) {
    if (int16_t err = narrow_status(av_enter_movies())) return fail("EnterMovies", err);

    std::string why;
    c.theSeqGrabber = SeqGrabber::open(c.cameraSource, &why, c.maxHeight);
    if (!c.theSeqGrabber) return fail("OpenDefaultComponent SeqGrabComponentType", 0, why);
    SeqGrabber& g = *c.theSeqGrabber;
    // The default camera is named by its device from now on, so that it is the one reopened.
    CameraSource resolved;
    if (c.cameraSource.empty() && resolve_camera_source("", resolved, why) &&
        resolved.format == "v4l2")
        c.cameraSource = resolved.url;
    if (int16_t err = g.initialize()) return fail("SGInitialize", err, g.lastError());
    if (int16_t err = g.newChannel(kVideoMediaType, &c.theVideoChannel))
        return fail("SGNewChannel", err, g.lastError());

    Rect16 rect;
    if (int16_t err = g.getSrcVideoBounds(c.theVideoChannel, rect))
        return fail("SGGetSrcVideoBounds", err);
    if (int16_t err = g.setChannelUsage(c.theVideoChannel, kSeqGrabPreview))
        return fail("SGSetChannelUsage", err);
    if (rect.bottom > c.maxHeight) {
        rect = camera_frame_rect(rect, c.maxHeight);
        if (int16_t err = g.setChannelBounds(c.theVideoChannel, rect))
            return fail("SGSetChannelBounds", err);
    }

    set_camera_geometry(s, rect.right - rect.left, rect.bottom - rect.top);
    const size_t bytes = static_cast<size_t>(s.LargeHeight) * s.LargeSrcRowBytes;
    c.srcBuffer.reset(new (std::nothrow) uint8_t[bytes]);
    if (!c.srcBuffer) return fail("malloc for source", 0);
    s.srcData = c.srcBuffer.get();

    if (int16_t err = QTNewGWorldFromPtr(c.theGWorld, 32, rect, s.srcData, s.LargeSrcRowBytes))
        return fail("NewGWorld for source", err);
    if (int16_t err = g.setGWorld(c.theGWorld.get())) return fail("SGSetGWorld", err);

    s.grabber = c.theSeqGrabber.get();
    c.pipeline = &s;
    return true;
}

bool install_grab_complete(CaptureState& c, FrameReceiver* view) {
    SeqGrabber* g = c.theSeqGrabber.get();
    if (!g) return fail("SGSetChannelRefCon", kNotInitializedErr);
    c.refCon = view;
    if (int16_t err = g->setChannelRefCon(c.theVideoChannel, view))
        return fail("SGSetChannelRefCon", err);

    VideoBottlenecks procs;
    procs.procCount = 9;
    if (int16_t err = g->getVideoBottlenecks(c.theVideoChannel, procs))
        return fail("SGGetVideoBottlenecks", err);
    procs.grabCompleteProc = MyGrabCompleteFunction;
    if (int16_t err = g->setVideoBottlenecks(c.theVideoChannel, procs))
        return fail("SGSetVideoBottlenecks", err);
    return true;
}

bool start_camera(CaptureState& c) {
    if (!c.theSeqGrabber) return fail("SGStartPreview", kNotInitializedErr);
    if (int16_t err = c.theSeqGrabber->startPreview())
        return fail("SGStartPreview", err, c.theSeqGrabber->lastError());
    c.cameraLost = false;
    c.lastPicture = std::chrono::steady_clock::now();
    c.picturesSeen = c.theSeqGrabber->picturesDrawn();
    return true;
}

namespace {

enum class Replaced { Yes, NotOpened, NoMemory, Stalled };

// Opens source at c.maxHeight beside the old camera; once it is open, the old camera is closed
// and the pipeline sized for the new one (geometry, output bitmaps, ring at `size`), the callback
// installed and the preview started. Every failure has shown its alert. NotOpened leaves the old
// camera and pipeline as they were; NoMemory leaves the pipeline without its blocks.
Replaced replace_camera(PipelineState& s, CaptureState& c, const std::string& source, int size) {
    PipelineState trial;
    CaptureState fresh;
    fresh.cameraSource = source;
    fresh.maxHeight = c.maxHeight;
    if (!setup_camera(trial, fresh)) return Replaced::NotOpened;

    close_camera(c);
    c.reopen.reset();
    c.cameraSource = fresh.cameraSource;
    c.theSeqGrabber = std::move(fresh.theSeqGrabber);
    c.theVideoChannel = fresh.theVideoChannel;
    c.theGWorld = std::move(fresh.theGWorld);
    c.srcBuffer = std::move(fresh.srcBuffer);
    c.pipeline = &s;
    s.LargeWidth = trial.LargeWidth;
    s.LargeHeight = trial.LargeHeight;
    s.LargeSrcRowBytes = trial.LargeSrcRowBytes;
    s.srcData = c.srcBuffer.get();
    s.grabber = c.theSeqGrabber.get();
    if (!create_output_bitmaps(s) || !try_setup_size_params(s, size, false))
        return Replaced::NoMemory;
    if (!install_grab_complete(c, c.refCon) || !start_camera(c)) return Replaced::Stalled;
    return Replaced::Yes;
}

// Closes the camera and lets go of its input, so that a device is free to be opened again.
void release_camera(PipelineState& s, CaptureState& c) {
    close_camera(c);
    c.theSeqGrabber.reset();
    c.theVideoChannel = nullptr;
    s.grabber = nullptr;
}

// Brings source back at c.maxHeight after another camera or size failed. After a failed
// allocation the release of the new blocks made room for the old ones; without them the process
// cannot go on. A camera that does not open again is lost: it is tried again every second.
void restore_camera(PipelineState& s, CaptureState& c, const std::string& source, int size) {
    release_camera(s, c);
    const Replaced r = replace_camera(s, c, source, size);
    if (r == Replaced::NoMemory || (r == Replaced::NotOpened && !s.fBuffer))
        terminate_application();
    if (r == Replaced::NotOpened) {
        c.cameraSource = source;
        c.cameraLost = true;
        c.nextReopen = std::chrono::steady_clock::now();
    }
}

// The camera's rectangle at maxHeight lines, when the camera keeps its mode whatever the height
// (a file or a filter graph, not a device); nothing when it would have to be opened anew.
std::optional<Rect16> rect_without_reopening(CaptureState& c, int maxHeight) {
    CameraSource src;
    std::string why;
    Rect16 native;
    if (c.cameraLost || !c.theSeqGrabber || !resolve_camera_source(c.cameraSource, src, why) ||
        src.device || c.theSeqGrabber->getSrcVideoBounds(c.theVideoChannel, native) != 0)
        return std::nullopt;
    return camera_frame_rect(native, maxHeight);
}

}  // namespace

bool switch_camera(PipelineState& s, CaptureState& c, const std::string& source, int size) {
    const std::string before = c.cameraSource;
    const Replaced r = replace_camera(s, c, source, size);
    if (r == Replaced::NoMemory) restore_camera(s, c, before, size);
    return r == Replaced::Yes;
}

bool change_camera_resolution(PipelineState& s, CaptureState& c, int maxHeight, int size) {
    const int before = c.maxHeight;
    if (maxHeight == before) return true;
    // A file or a filter graph whose pictures come out the same size needs nothing new.
    if (const std::optional<Rect16> r = rect_without_reopening(c, maxHeight);
        r && r->right == s.LargeWidth && r->bottom == s.LargeHeight) {
        c.maxHeight = maxHeight;
        return true;
    }
    const std::string source = c.cameraSource;
    const bool wasLost = c.cameraLost;
    // A device streams to one opener at a time: the old camera lets go first.
    release_camera(s, c);
    c.maxHeight = maxHeight;
    const Replaced r = replace_camera(s, c, source, size);
    if (r == Replaced::Yes) return true;
    c.maxHeight = before;
    if (wasLost && r == Replaced::NotOpened) return false;  // still gone; it is tried again
    if (r != Replaced::Stalled) restore_camera(s, c, source, size);
    return false;
}

void close_camera(CaptureState& c) {
    if (c.theSeqGrabber) c.theSeqGrabber->close();
}

std::string camera_list_text() {
    std::string out;
    for (const CameraInfo& cam : list_cameras()) out += cam.source + "\t" + cam.description + "\n";
    return out;
}
