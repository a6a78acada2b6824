// SPDX-License-Identifier: MIT
// Shared by the recording tests: an alert spy, a temporary directory and a live pipeline fed by
// libavfilter's testsrc2 whose render pass records into a RecordingState.
#pragma once

#include <gtest/gtest.h>

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
    LivePipeline(RecordingState& r, int width, int height,
                 const std::string& source = "testsrc2")
        : r_(r),
          camera_(source + "=size=" + std::to_string(width) + "x" + std::to_string(height) +
                  ":rate=30") {
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

    bool cameraOk() const { return camera_.ok(); }

    // One camera frame delivered and one render pass; true when a picture was drawn.
    bool frame() {
        if (!camera_.read(s.srcData, s.LargeSrcRowBytes, s.Width, s.Height)) return false;
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
    FilterCamera camera_;
    std::vector<uint8_t> cameraBuffer_;
};

inline std::string fourcc_string(uint32_t t) {
    return {static_cast<char>(t >> 24), static_cast<char>(t >> 16), static_cast<char>(t >> 8),
            static_cast<char>(t)};
}
