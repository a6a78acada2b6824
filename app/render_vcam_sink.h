// SPDX-License-Identifier: MIT
// The render tool's virtual camera outputs (pipewire:NAME, v4l2:/dev/videoN), paced at the
// input's rate, and the input that starts over at its end (--loop).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "render_io.h"

// Whether OUTPUT names a virtual camera.
bool is_virtual_camera_output(const std::string& output);

// The camera is made with the first picture, at its size. A PipeWire node waits for its first
// consumer before the first picture goes out; then every picture goes out at its input time
// (1/30 s apart for inputs without times). On failure returns null and says why in error.
std::unique_ptr<PictureSink> open_virtual_camera_sink(const std::string& output,
                                                      std::string& error);

// Reads `first` to its end, then sources made by `reopen`, over and over; times go on rising.
std::unique_ptr<FrameSource> loop_frame_source(
    std::unique_ptr<FrameSource> first,
    std::function<std::unique_ptr<FrameSource>(std::string& error)> reopen);
