// SPDX-License-Identifier: MIT
// Shared by the recording tests: an alert spy, a temporary directory, pictures drawn as the view
// draws them, and a fixture that records them on a clock the test sets.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "error_msg.h"
#include "movie_reader.h"
#include "recording.h"
#include "testkit.h"

// A pipeline state with nothing but a working size.
inline PipelineState working_size(int w, int h) {
    PipelineState s;
    s.Width = w, s.Height = h;
    return s;
}

// Pictures as the view draws them, R, G, B and an unshown byte per pixel in padded rows: smooth
// ramps across and down and a wave that moves with the picture's number, unlike its mirror
// image.
struct DrawnPictures {
    DrawnPictures(int w, int h) : s(working_size(w, h)), bytes(rowBytes * h) {}
    const uint8_t* draw(int n) {  // picture n; its R, G, B bytes in rgb
        rgb.clear();
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x) {
                uint8_t* px = &bytes[y * rowBytes + 4 * x];
                px[0] = static_cast<uint8_t>(255 * x / s.Width);
                px[1] = static_cast<uint8_t>(255 * y / s.Height);
                px[2] = static_cast<uint8_t>(127.5 + 127 * std::sin(0.05 * (x + y + 3 * n)));
                px[3] = 0xFF;
                rgb.insert(rgb.end(), px, px + 3);
            }
        return bytes.data();
    }
    PipelineState s;
    int rowBytes = 4 * s.Width + 32;
    std::vector<uint8_t> bytes, rgb;
};

// A recording whose clock the test sets, in milliseconds, and alerts that are kept.
class RecordingFixture : public ::testing::Test {
protected:
    RecordingFixture() { r.clock = [this] { return nowMs * 1000; }; }

    // At clock time ms, draws a picture and hands it to the recording, as the render pass does
    // while one is on.
    void drawAt(int64_t ms) {
        nowMs = ms;
        const uint8_t* data = pictures.draw(++drawn);
        if (r.RecordingOn && ++handed) add_media_samples(r, pictures.s, data, pictures.rowBytes);
    }
    // Records one picture at each clock time into dir/name; returns the movie's path.
    std::string record(const std::string& name, const std::vector<int64_t>& ms) {
        const std::string path = dir.path(name);
        EXPECT_TRUE(setup_recording(r, pictures.s, path));
        for (int64_t t : ms) drawAt(t);
        EXPECT_TRUE(finish_recording(r));
        return path;
    }
    static std::vector<int64_t> every(int64_t stepMs, int n, int64_t fromMs = 1000) {
        std::vector<int64_t> ms(n);
        for (int i = 0; i < n; ++i) ms[i] = fromMs + stepMs * i;
        return ms;
    }

    testkit::ErrorSpy alerts;  // every alert, kept instead of shown
    testkit::TempDir dir;
    RecordingState r;
    DrawnPictures pictures{160, 120};
    int64_t nowMs = 1000;
    int drawn = 0, handed = 0;  // pictures drawn; pictures handed to the recording
};
