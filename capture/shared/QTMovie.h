// SPDX-License-Identifier: MIT
// The camera and movie types shared by capture and recording, and the camera functions the
// window calls.
#pragma once

#include <cstdint>

#include "grabber.h"

struct PipelineState;

// ---- Camera set-up and frame delivery ----

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

// The camera objects of the process. main owns the one instance.
struct CaptureState {
    std::string cameraSource;                   // --camera: "" for the platform's default camera
    std::shared_ptr<SeqGrabber> theSeqGrabber;  // null until setup_camera opened one
    SGChannel theVideoChannel = nullptr;        // owned by theSeqGrabber
    std::unique_ptr<GWorld> theGWorld;          // wraps srcBuffer for the grabber
    FrameReceiver* refCon = nullptr;            // handed back to the grab-complete callback
    std::unique_ptr<uint8_t[]> srcBuffer;       // owns PipelineState::srcData
};

// Opens and configures the grabber and the camera buffer; sets LargeWidth, LargeHeight,
// LargeSrcRowBytes, srcData and PipelineState::grabber. Reports the failing step and returns
// false.
bool setup_camera(PipelineState& s, CaptureState& c);
// The camera steps of the view's setupCameraProcs, after the output bitmaps and the half working
// size: the reference constant and the grab-complete callback.
bool install_grab_complete(CaptureState& c, FrameReceiver* view);
// Starts the preview. Reports "SGStartPreview" and returns false on failure.
bool start_camera(CaptureState& c);
// The camera timer's idle call: delivers the newest frame, if any, inside this call.
void camera_idle(CaptureState& c);
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
