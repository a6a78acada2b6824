// SPDX-License-Identifier: MIT
#include "render_io.h"

std::unique_ptr<FrameSource> open_frame_source(const std::string& input, int rawWidth,
                                               int rawHeight, std::string& error) {
    if (rawWidth > 0) return open_raw_source(input, rawWidth, rawHeight, error);
    error = input + ": give the size of the raw input frames with --raw-size WxH";
    return nullptr;
}
