// SPDX-License-Identifier: MIT
// Shared by the recording tests: an alert spy, a temporary directory, a live pipeline fed by a
// moving test picture whose render pass records into a RecordingState, and a fixture that
// records clips on a clock the test sets.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "error_msg.h"
#include "frame_history.h"
#include "ingest.h"
#include "movie_reader.h"
#include "recording.h"
#include "render_pass.h"

// Records every alert instead of showing it.
class AlertSpy {
public:
    AlertSpy() {
        texts().clear();
        set_error_msg_backend(nullptr, &AlertSpy::sink);
    }
    ~AlertSpy() { set_error_msg_backend(nullptr, nullptr); }
    static std::vector<std::string>& texts() {
        static std::vector<std::string> t;
        return t;
    }

private:
    static void sink(const std::string&, const std::string& text, const std::string&) {
        texts().push_back(text);
    }
};

// A fresh directory under the system's temporary directory, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "wobblescope-recording-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The live pipeline at a working size of width x height (half of a 2*width x 2*height camera),
// wired to a recording as the view wires it.
class LivePipeline {
public:
    LivePipeline(RecordingState& r, int width, int height) : r_(r) {
        set_camera_geometry(s, 2 * width, 2 * height);
        cameraBuffer_.resize(static_cast<size_t>(s.LargeSrcRowBytes) * s.LargeHeight);
        s.srcData = cameraBuffer_.data();
        create_output_bitmaps(s);
        init_view_state(s, v, 1);
        v.currentSize = kHalfSize;
        setup_size_params(s, kHalfSize, false);
        controls.effectEnabled = false;  // the plain picture, mirrored
        hooks.RecordingOn = &r.RecordingOn;
        hooks.add_media_samples = [this](const uint8_t* data, int rowBytes) {
            ++recordedFrames;
            return add_media_samples(r_, s, data, rowBytes);
        };
        hooks.draw = [this](const OutputBitmap& bm) {
            drawn.assign(3 * static_cast<size_t>(s.Width) * s.Height, 0);
            for (int y = 0; y < s.Height; ++y)
                for (int x = 0; x < s.Width; ++x)
                    for (int c = 0; c < 3; ++c)
                        drawn[3 * (static_cast<size_t>(y) * s.Width + x) + c] =
                            bm.data[static_cast<size_t>(y) * bm.rowBytes + 4 * x + c];
        };
    }
    ~LivePipeline() { release_pipeline(s); }

    // One camera frame delivered and one render pass; true when a picture was drawn. The
    // camera's A, R, G, B picture: smooth ramps across and down, a wave that moves, unlike
    // its mirror image.
    bool frame() {
        ++frames_;
        const int w = s.LargeSrcRowBytes / 4, h = s.LargeHeight;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* px = s.srcData + static_cast<size_t>(y) * s.LargeSrcRowBytes + 4 * x;
                px[0] = 0xFF;
                px[1] = static_cast<uint8_t>(255 * x / w);
                px[2] = static_cast<uint8_t>(255 * y / h);
                px[3] = static_cast<uint8_t>(127.5 + 127 * std::sin(0.05 * (x + y + 3 * frames_)));
            }
        ingest_frame(s, v, callbacks);
        return render_pass(s, v, controls, hooks);
    }
    // Delivers frames until `n` pictures were drawn.
    void drawPictures(int n) {
        for (int drawnCount = 0, guard = 0; drawnCount < n && guard < n + 10; ++guard)
            if (frame()) ++drawnCount;
    }

    PipelineState s;
    ViewState v;
    Controls controls;
    RenderHooks hooks;
    ViewCallbacks callbacks;
    std::vector<uint8_t> drawn;  // R, G, B of the last picture drawn
    int recordedFrames = 0;      // calls of add_media_samples

private:
    RecordingState& r_;
    std::vector<uint8_t> cameraBuffer_;
    int frames_ = 0;
};

// A pipeline state with nothing but a working size.
inline PipelineState working_size(int w, int h) {
    PipelineState s;
    s.Width = w;
    s.Height = h;
    return s;
}

inline std::string fourcc_string(uint32_t t) {
    return {static_cast<char>(t >> 24), static_cast<char>(t >> 16), static_cast<char>(t >> 8),
            static_cast<char>(t)};
}

// A recording whose clock the test sets, in milliseconds, and alerts that are kept.
class RecordingFixture : public ::testing::Test {
protected:
    RecordingFixture() {
        r.clock = [this] { return nowMs * 1000; };
    }

    // Draws one recorded picture at clock time ms.
    void drawAt(LivePipeline& p, int64_t ms) {
        nowMs = ms;
        const int before = p.recordedFrames;
        for (int guard = 0; guard < 8 && p.recordedFrames == before; ++guard) p.frame();
        ASSERT_EQ(p.recordedFrames, before + 1);
    }
    // Records one picture at each clock time into dir/name; returns the movie's path.
    std::string record(LivePipeline& p, const std::string& name, const std::vector<int64_t>& ms) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(setup_recording(r, p.s, path));
        for (int64_t t : ms) drawAt(p, t);
        EXPECT_TRUE(finish_recording(r));
        return path;
    }
    static std::vector<int64_t> every(int64_t stepMs, int n, int64_t fromMs = 1000) {
        std::vector<int64_t> ms;
        for (int i = 0; i < n; ++i) ms.push_back(fromMs + stepMs * i);
        return ms;
    }

    AlertSpy alerts;
    TempDir dir;
    RecordingState r;
    int64_t nowMs = 1000;
};
