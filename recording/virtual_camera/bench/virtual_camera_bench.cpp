// SPDX-License-Identifier: MIT
// Feeding the camera, per picture: the copy into the mailbox on the drawing thread, then the
// scaling and conversion into a camera buffer on the camera's thread. Args: format (0 BGRx,
// 1 RGBx, 2 YUY2), camera width, camera height, and 1 when the picture is half size.
#include <benchmark/benchmark.h>

#include "camera_feed.h"

namespace {

void BM_FeedPicture(benchmark::State& state) {
    const auto format = static_cast<CameraFormat>(state.range(0));
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    const bool half = state.range(3) != 0;
    const int pw = half ? w / 2 : w, ph = half ? h / 2 : h;
    const int rowBytes = (4 * pw + 15) & ~15;  // as the output bitmaps are laid out
    std::vector<uint8_t> picture(static_cast<size_t>(rowBytes) * ph);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 131 + 7);
    const int stride = camera_stride(format, w);
    std::vector<uint8_t> buffer(static_cast<size_t>(stride) * h);

    PictureMailbox mailbox;
    PictureConverter converter;
    for (auto _ : state) {
        mailbox.put(picture.data(), rowBytes, pw, ph);
        const CameraPicture* p = mailbox.take();
        converter.convert(*p, format, buffer.data(), stride, w, h);
        mailbox.release();
        benchmark::DoNotOptimize(buffer.data());
    }
    static const char* const kNames[] = {"BGRx", "RGBx", "YUY2"};
    state.SetLabel(std::string(kNames[state.range(0)]) + (half ? " from half size" : ""));
}

void feed_args(benchmark::internal::Benchmark* b) {
    for (int format = 0; format < 3; ++format)
        for (auto [w, h] : {std::pair{640, 480}, std::pair{1280, 720}})
            for (int half = 0; half < 2; ++half) b->Args({format, w, h, half});
}

BENCHMARK(BM_FeedPicture)->Apply(feed_args)->Unit(benchmark::kMicrosecond);

// The drawing thread's share alone: the copy into the mailbox.
void BM_HandOver(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    std::vector<uint8_t> picture(4 * static_cast<size_t>(w) * h, 0x80);
    PictureMailbox mailbox;
    for (auto _ : state) benchmark::DoNotOptimize(mailbox.put(picture.data(), 4 * w, w, h));
}
BENCHMARK(BM_HandOver)->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
