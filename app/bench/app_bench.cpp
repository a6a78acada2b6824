// SPDX-License-Identifier: MIT
// What the view adds to a render pass: byte 3 made opaque, then the bitmap drawn at the camera
// size (scaled by two from half size, or one to one at full size) into a window-like surface.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <vector>

#include "opaque_pixels.h"

namespace {

struct Bitmap {
    Bitmap(int w, int h) : width(w), height(h), rowBytes(4 * w), bytes(static_cast<size_t>(4) * w * h) {
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 >> 3);
    }
    int width, height, rowBytes;
    std::vector<uint8_t> bytes;
};

void BM_MakePixelsOpaque(benchmark::State& state) {
    Bitmap bm(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        make_pixels_opaque(bm.bytes.data(), bm.rowBytes, bm.width, bm.height);
        benchmark::DoNotOptimize(bm.bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bm.bytes.size()));
}
BENCHMARK(BM_MakePixelsOpaque)->Args({320, 240})->Args({640, 480})->UseRealTime()->Unit(benchmark::kMicrosecond);

// range(2): 1 with the opaque pass, 0 without; the target is the camera size, 640 x 480.
void BM_DrawBitmap(benchmark::State& state) {
    Bitmap bm(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    QImage target(640, 480, QImage::Format_RGB32);
    for (auto _ : state) {
        if (state.range(2)) make_pixels_opaque(bm.bytes.data(), bm.rowBytes, bm.width, bm.height);
        const QImage image(bm.bytes.data(), bm.width, bm.height, bm.rowBytes, QImage::Format_RGBX8888);
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, 640, 480), image);
    }
}
BENCHMARK(BM_DrawBitmap)
    ->ArgNames({"w", "h", "opaque"})
    ->Args({320, 240, 0})
    ->Args({320, 240, 1})
    ->Args({640, 480, 0})
    ->Args({640, 480, 1})
    ->UseRealTime()  // Qt spreads a large draw over worker threads
    ->Unit(benchmark::kMicrosecond);

}  // namespace
