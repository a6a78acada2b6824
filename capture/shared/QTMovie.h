// SPDX-License-Identifier: MIT
// The camera and movie types shared by capture and recording, and the camera functions the
// window calls.
#pragma once

#include <cstdint>

#include "grabber.h"

struct PipelineState;

// ---- Camera set-up and frame delivery ----

#include <chrono>
#include <memory>
#include <string>

class SeqGrabber;       // the grabber behind theSeqGrabber, built on FFmpeg's libraries
struct SGVideoChannel;  // its one video channel
using SGChannel = SGVideoChannel*;

// An offscreen world that draws into memory its creator owns: the camera buffer.
struct GWorld {
    uint8_t* baseAddr = nullptr;
    int rowBytes = 0;  // bytes
    Rect16 bounds;     // pixels; top and left are 0
};

// Receives every completed camera frame: the view's ingestion entry.
class FrameReceiver {
public:
    virtual ~FrameReceiver() = default;
    virtual void MyMovieDrawingCompleteMethod() = 0;
};

// The grab-complete bottleneck: called inside the idle call once a frame is in the camera
// buffer; refCon is the channel's reference constant. Returns a status for the grabber.
using SGGrabCompleteBottleProc = int16_t (*)(SGChannel c, int16_t bufferNum, uint8_t* done,
                                             void* refCon);

struct ReopenJob;

// The camera objects of the process. main owns the one instance.
struct CaptureState {
    std::string cameraSource;                   // --camera: "" for the platform's default camera
    int maxHeight = kMaxCameraHeight;           // lines: the processing resolution chosen
    PipelineState* pipeline = nullptr;          // the pipeline setup_camera sized
    std::shared_ptr<SeqGrabber> theSeqGrabber;  // null until setup_camera opened one
    SGChannel theVideoChannel = nullptr;        // owned by theSeqGrabber
    std::unique_ptr<GWorld> theGWorld;          // wraps srcBuffer for the grabber
    FrameReceiver* refCon = nullptr;            // handed back to the grab-complete callback
    std::unique_ptr<uint8_t[]> srcBuffer;       // owns PipelineState::srcData

    // A camera that ended, was unplugged or gave no picture for kCameraSilence is lost: the
    // pipeline keeps its pictures and the same source is reopened every kReopenInterval.
    bool cameraLost = false;
    std::chrono::steady_clock::time_point lastPicture;  // when the camera last gave a picture
    long long picturesSeen = 0;                         // the grabber's pictures at that time
    std::chrono::steady_clock::time_point nextReopen;   // earliest start of the next attempt
    std::shared_ptr<ReopenJob> reopen;                  // the attempt under way, if any
};

constexpr std::chrono::seconds kCameraSilence{2};
constexpr std::chrono::seconds kReopenInterval{1};

// Opens and configures the grabber and the camera buffer; sets LargeWidth, LargeHeight,
// LargeSrcRowBytes, srcData and PipelineState::grabber. Reports the failing step and returns
// false.
bool setup_camera(PipelineState& s, CaptureState& c);
// The camera steps of the view's setupCameraProcs, after the output bitmaps and the half working
// size: the reference constant and the grab-complete callback.
bool install_grab_complete(CaptureState& c, FrameReceiver* view);
// Starts the preview. Reports "SGStartPreview" and returns false on failure.
bool start_camera(CaptureState& c);
// The camera timer's idle call: delivers the newest frame, if any, inside this call. It also
// notices a lost camera and, while it is lost, reopens it: see camera_idle_at.
void camera_idle(CaptureState& c);
// camera_idle at the given time. A camera that ended or gave no picture since now -
// kCameraSilence becomes lost (cameraLost; the pipeline's grabber is cleared, so a size change
// meanwhile only resizes the pipeline). While lost, an attempt to open the same source starts
// on its own thread every kReopenInterval (a device or a pipe may block while opening); the
// first that succeeds draws at the working size into the same camera buffer, and cameraLost
// clears. Reopening shows no alert.
void camera_idle_at(CaptureState& c, std::chrono::steady_clock::time_point now);
// Replaces the camera with `source`, sized as a camera size change sizes the pipeline: new
// camera geometry and output bitmaps, the ring emptied at working size `size` (kFullSize or
// kHalfSize), the callback installed and the preview started. When the new source cannot be
// opened, its alert (with the cause) has been shown, false is returned and the old camera
// goes on untouched.
bool switch_camera(PipelineState& s, CaptureState& c, const std::string& source, int size);
// Changes the processing resolution to pictures of at most maxHeight lines: the same source
// opened again (a device in its best mode for that many lines) and the pipeline sized as
// switch_camera sizes it. When the camera cannot be opened so, or the pipeline's blocks cannot
// be had (the allocation alert with its cause has been shown), the old resolution is brought
// back and false is returned; only when that fails too does the process end.
bool change_camera_resolution(PipelineState& s, CaptureState& c, int maxHeight, int size);
// Stops the preview and joins the reader thread; nothing is delivered afterwards. The buffers
// stay. Safe to call more than once, and without a camera.
void close_camera(CaptureState& c);

// The grab-complete callback: finishes the grabber's processing of the frame and, when the frame
// is complete, hands it to the view given as refCon. Returns the grabber's status.
int16_t MyGrabCompleteFunction(SGChannel c, int16_t bufferNum, uint8_t* done, void* refCon);

// `--list-cameras`: one line per camera found, "SOURCE<tab>DESCRIPTION", the demo scene last.
std::string camera_list_text();
// What `--camera SOURCE` accepts, for the usage text (lines of at most 80 columns).
extern const char* const kCameraSourceHelp;
