// SPDX-License-Identifier: MIT
// What the pipeline needs of a camera: the grabber interface through which a size change
// re-bounds it, and the camera size rule. Capture implements the interface.
#pragma once

#include <cstdint>

#include "pipeline_state.h"

struct PipelineState;

// A rectangle of 16-bit coordinates: top, left, bottom, right.
struct Rect16 {
    int16_t top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const Rect16&) const = default;
};

// What the pipeline needs of a camera grabber. Each call returns 0 on success or a status.
class Grabber {
public:
    virtual ~Grabber() = default;
    virtual int16_t stop() = 0;                                  // frames stop arriving
    virtual int16_t setChannelBounds(const Rect16& bounds) = 0;  // later frames scaled into bounds
    virtual int16_t startPreview() = 0;                          // frames arrive again while idle
};

// Tells the camera to deliver frames of the working size into the top-left corner of the camera
// buffer. With restart set the preview runs and is stopped around the change. Failures are
// reported through error_msg; nothing is returned.
void change_camera_size(PipelineState& s, bool restart);

// The processing resolutions a user chooses from: the most lines a camera picture keeps.
// kMaxCameraHeight (480) is the default; "camera's own" keeps up to kNativeMaxHeight lines.
constexpr int kNativeMaxHeight = 2160;  // lines
constexpr int kResolutionHeights[] = {kMaxCameraHeight, 720, 1080, kNativeMaxHeight};

// The camera size rule: a camera taller than maxHeight lines is scaled to maxHeight lines, its
// width reduced in proportion (remainder dropped). Returns the rectangle the camera delivers.
Rect16 camera_frame_rect(const Rect16& native, int maxHeight = kMaxCameraHeight);
