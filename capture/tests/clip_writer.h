// SPDX-License-Identifier: MIT
// Writes small video files with libavformat for the camera tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Paints picture n, A, R, G, B per pixel, rows rowBytes apart.
using PaintFn = std::function<void(int n, uint8_t* argb, int rowBytes, int width, int height)>;

struct ClipSettings {
    std::string path;                  // the container follows the file name's ending
    std::string codec = "rawvideo";    // encoder name
    std::string pixelFormat = "argb";  // the encoder's pixel format
    int width = 64, height = 48;       // pixels
    int frames = 10;
    int fps = 25;
    PaintFn paint = nullptr;  // a moving test pattern when empty
};

// The default pattern: every byte depends on x, y and n, alpha is 255.
void paint_pattern(int n, uint8_t* argb, int rowBytes, int width, int height);
// Picture n of the default pattern as one block of width x height x 4 bytes.
std::vector<uint8_t> pattern_picture(int n, int width, int height);

// Returns "" on success, else what failed.
std::string write_clip(const ClipSettings& settings);
