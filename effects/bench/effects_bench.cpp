// SPDX-License-Identifier: MIT
// One pass of each effect, vector and scalar side by side, at the usual working sizes.
#include <benchmark/benchmark.h>

#include <random>

#include "effects.h"
#include "row_pool.h"
#include "testkit.h"

namespace {

const char* const kNames[6] = {"Wave", "Exposure", "Trace", "Delay", "Scatter", "Paint"};

struct Size {
    int largeWidth, largeHeight, size;
    const char* label;
};
const Size kSizes[] = {{640, 480, kFullSize, "640x480_full"},
                       {640, 480, kHalfSize, "320x240_half"},
                       {853, 480, kFullSize, "853x480_full"},
                       {1920, 1080, kFullSize, "1920x1080_full"}};

// threads 0 runs without a pool, on the caller alone.
void effect_pass(benchmark::State& state, int mode, Size size, bool scalar, int threads) {
    testkit::Pipeline p(size.largeWidth, size.largeHeight, size.size);
    RowPool pool(threads);
    if (threads > 0) p.s.pool = &pool;
    std::mt19937 rng(1);
    p.random_ring(rng, 60);
    p.random_planes(rng);
    wobble_srand48(1);
    const EffectStep step = (scalar ? ref::kEffectSteps : kEffectSteps)[mode];
    for (auto _ : state) {
        // As in the live program, every pass sees a new newest frame: the ring moves on by one.
        p.s.SFIndex = (p.s.SFIndex + 1) % kHistorySlots;
        p.begin_pass();
        step(p.s);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * p.s.Width * p.s.Height);
}

void vsmooth_quad(benchmark::State& state, bool scalar) {
    testkit::Pipeline p(640, 480);
    std::mt19937 rng(2);
    p.random_ring(rng, 60);
    const int32_t near[4] = {3, 17, 59, 0};
    const float w[4] = {0.1f, 0.5f, 0.9f, 0.0f};
    int x = 0;
    for (auto _ : state) {
        uint8_t* dst = p.s.bitmap->data + 4 * x;
        if (scalar) {
            for (int k = 0; k < 4; ++k) ref::vsmooth_pixel(p.s, dst + 4 * k, near[k], w[k], 4 * (x + k) + 1);
        } else {
            vsmooth(p.s, dst, near, w, 4 * x + 1);
        }
        x = (x + 4) % 640;
        benchmark::ClobberMemory();
    }
}

int register_all() {
    for (const Size& size : kSizes) {
        const bool hd = size.largeHeight > 480;
        const bool threaded = hd || (size.largeWidth == 640 && size.size == kFullSize);
        for (int mode = 0; mode < 6; ++mode) {
            // Scalar twins at the usual sizes; one and two threads at 640 x 480 and 1920 x 1080.
            for (bool scalar : {false, true}) {
                if (scalar && hd) continue;
                for (int threads : {0, 1, 2}) {
                    if ((threads > 0) != (threaded && !scalar)) continue;
                    std::string name = std::string(kNames[mode]) + "/" + size.label + (scalar ? "/scalar" : "/vector");
                    if (threads > 0) name += "/threads:" + std::to_string(threads);
                    benchmark::RegisterBenchmark(name.c_str(), effect_pass, mode, size, scalar, threads)
                        ->Unit(benchmark::kMillisecond);
                }
            }
        }
    }
    benchmark::RegisterBenchmark("Vsmooth/quad/vector", vsmooth_quad, false);
    benchmark::RegisterBenchmark("Vsmooth/quad/scalar", vsmooth_quad, true);
    return 0;
}
const int registered = register_all();

}  // namespace
