// SPDX-License-Identifier: MIT
// Cost of one recorded frame at 640 x 480, per compressor: the copy into the recording pixel
// map, the compression and the sample's write into a movie file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "av_movie.h"
#include "error_msg.h"
#include "recording.h"

namespace {

constexpr int kWidth = 640, kHeight = 480, kFrames = 8;

// Eight output bitmaps (R, G, B, spare) of a smooth moving scene with fine texture, roughly
// what a camera gives.
std::vector<std::vector<uint8_t>> make_pictures(int rowBytes) {
    std::vector<std::vector<uint8_t>> out(kFrames, std::vector<uint8_t>(rowBytes * kHeight));
    uint32_t noise = 12345;
    for (int f = 0; f < kFrames; ++f)
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                noise = noise * 1103515245u + 12345u;
                const int n = static_cast<int>(noise >> 28) - 8;
                uint8_t* px = &out[f][y * rowBytes + 4 * x];
                const double d = std::hypot(x - 320 - 8 * f, y - 240);
                px[0] = static_cast<uint8_t>(std::clamp(128 + 100 * std::sin(d / 30) + n, 0.0, 255.0));
                px[1] = static_cast<uint8_t>(std::clamp(x * 255.0 / kWidth + n, 0.0, 255.0));
                px[2] = static_cast<uint8_t>(std::clamp(y * 255.0 / kHeight + n, 0.0, 255.0));
                px[3] = 0xFF;
            }
    return out;
}

void BM_RecordFrame(benchmark::State& state, uint32_t type, int32_t quality) {
    if (!codec_available(type)) {
        state.SkipWithError("compressor not available");
        return;
    }
    PipelineState s;
    s.Width = kWidth;
    s.Height = kHeight;
    const int rowBytes = 4 * kWidth;
    const auto pictures = make_pictures(rowBytes);
    RecordingState r;
    if (!set_compression_settings(r, s, type, quality)) {
        state.SkipWithError("settings refused");
        return;
    }
    const std::string path =
        (std::filesystem::temp_directory_path() / "wobblescope-bench.mov").string();
    if (!setup_recording(r, s, path)) {
        state.SkipWithError("cannot record");
        return;
    }
    size_t frame = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        if (!add_timed_media_sample(r, s, pictures[frame % kFrames].data(), rowBytes, 20)) {
            state.SkipWithError("frame failed");
            break;
        }
        ++frame;
    }
    if (r.RecordingOn) finish_recording(r);
    bytes = static_cast<int64_t>(std::filesystem::file_size(path));
    std::remove(path.c_str());
    state.counters["kB/frame"] = frame ? bytes / 1024.0 / frame : 0;
}

void BM_CopyBmToPm(benchmark::State& state) {
    PipelineState s;
    s.Width = kWidth;
    s.Height = kHeight;
    RecordingState r;
    setup_rec_frame_pixmap(r, s);
    const auto pictures = make_pictures(4 * kWidth);
    for (auto _ : state) {
        copy_bm_to_pm(s, pictures[0].data(), 4 * kWidth, r.MoviePixMap);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_CopyBmToPm)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RecordFrame, jpeg_normal, kJPEGCodecType, codecNormalQuality)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RecordFrame, jpeg_best, kJPEGCodecType, codecMaxQuality)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RecordFrame, avc1_normal, kH264CodecType, codecNormalQuality)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RecordFrame, apcn_normal, kProRes422CodecType, codecNormalQuality)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RecordFrame, rle, kAnimationCodecType, codecLosslessQuality)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RecordFrame, png, kPNGCodecType, codecLosslessQuality)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RecordFrame, raw, kRawCodecType, codecLosslessQuality)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
