// SPDX-License-Identifier: MIT
// The camera's cost per frame: scaling an A, R, G, B picture (the render tool's raw frames), the
// idle call as a whole, and the reader's decoding and conversion to A, R, G, B.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "QTMovie.h"
#include "av_camera.h"
#include "clip_writer.h"
#include "frame_history.h"
#include "pipeline_state.h"
#include "seq_grabber.h"

namespace {

// 1280 x 720 to the working size of a 16:9 camera: 853 x 480 (full) or 426 x 240 (half), into
// a buffer 853 pixels wide: the second pass that the camera no longer makes, since its reader
// converts each picture straight to the working size.
void BM_IdleScale(benchmark::State& state) {
    const int dw = static_cast<int>(state.range(0)), dh = static_cast<int>(state.range(1));
    const std::vector<uint8_t> src = pattern_picture(0, 1280, 720);
    std::vector<uint8_t> buffer(4 * 853 * 480);
    ArgbScaler scaler;
    for (auto _ : state) {
        scaler.scale(src.data(), 1280, 720, 4 * 1280, buffer.data(), dw, dh, 4 * 853);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IdleScale)
    ->Args({853, 480})
    ->Args({426, 240})
    ->Args({640, 480})
    ->Unit(benchmark::kMicrosecond);

class NullReceiver : public FrameReceiver {
public:
    void MyMovieDrawingCompleteMethod() override { ++count; }
    long long count = 0;
};

// The whole idle call with a 1280 x 720 source: take the newest picture (converted to the
// working size on the reader thread), copy it into the camera buffer, call back.
// Time spent waiting for the reader to decode the next picture is not counted.
void BM_IdleCall(benchmark::State& state) {
    PipelineState s;
    CaptureState c;
    NullReceiver view;
    c.cameraSource = "lavfi:testsrc2=size=1280x720:rate=1000";
    if (!setup_camera(s, c) || !create_output_bitmaps(s)) {
        state.SkipWithError("camera set-up failed");
        return;
    }
    setup_size_params(s, static_cast<int>(state.range(0)), false);
    install_grab_complete(c, &view);
    start_camera(c);
    CameraReader& r = *c.theSeqGrabber->reader();
    for (auto _ : state) {
        state.PauseTiming();
        r.waitDecoded(r.stats().taken + r.stats().dropped + 1, std::chrono::seconds(10));
        state.ResumeTiming();
        camera_idle(c);
    }
    state.counters["delivered"] = static_cast<double>(view.count);
    state.SetLabel(std::to_string(s.Width) + "x" + std::to_string(s.Height));
    close_camera(c);
    release_pipeline(s);
}
BENCHMARK(BM_IdleCall)
    ->Arg(kFullSize)
    ->Arg(kHalfSize)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The reader's work per picture in render mode: demux, decode, convert to A, R, G, B.
void BM_ReaderDecode(benchmark::State& state, const char* codec, const char* pixelFormat,
                     const char* ending) {
    const std::string path =
        (std::filesystem::temp_directory_path() / (std::string("wobble-bench-") + codec + ending))
            .string();
    ClipSettings clip;
    clip.path = path;
    clip.codec = codec;
    clip.pixelFormat = pixelFormat;
    clip.width = 1280;
    clip.height = 720;
    clip.frames = 30;
    clip.fps = 30;
    if (std::string e = write_clip(clip); !e.empty()) {
        state.SkipWithError(e.c_str());
        return;
    }
    std::unique_ptr<AvInput> in;
    ArgbFrame f;
    auto reopen = [&] {
        int status = 0;
        std::string error;
        in = AvInput::open(path, false, status, error);
        return in && in->findStreamInfo() == 0 && in->openVideo() == 0;
    };
    if (!reopen()) {
        state.SkipWithError("cannot open the clip");
        return;
    }
    for (auto _ : state) {
        if (in->read(f) != AvInput::Read::Frame) {
            state.PauseTiming();
            reopen();
            state.ResumeTiming();
            in->read(f);
        }
        benchmark::DoNotOptimize(f.pixels.data());
    }
    state.SetItemsProcessed(state.iterations());
    std::remove(path.c_str());
}
BENCHMARK_CAPTURE(BM_ReaderDecode, mjpeg_720p, "mjpeg", "yuvj422p", ".mkv")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReaderDecode, yuyv422_720p, "rawvideo", "yuyv422", ".nut")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReaderDecode, mpeg4_720p, "mpeg4", "yuv420p", ".mkv")
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
