// SPDX-License-Identifier: MIT
// The ingestion, the plain picture, the mirror pass and whole render passes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "ingest.h"
#include "render_pass.h"
#include "row_pool.h"
#include "testkit.h"

namespace {

void Ingestion(benchmark::State& state) {
    testkit::Pipeline p(640, 480, static_cast<int>(state.range(0)));
    std::mt19937 rng(1);
    p.random_camera(rng);
    ViewCallbacks cb;
    cb.clock = [] { return 0u; };
    for (auto _ : state) {
        ingest_frame(p.s, p.v, cb);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Ingestion)->Arg(kFullSize)->Arg(kHalfSize)->Unit(benchmark::kMicrosecond);

void MirrorPass(benchmark::State& state) {
    testkit::Pipeline p(640, 480);
    const bool scalar = state.range(0);
    for (auto _ : state) {
        (scalar ? ref::mirror_rows : mirror_rows)(p.s.bitmap->data, p.s.bitmap->rowBytes, 640, 480);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(MirrorPass)->ArgName("scalar")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A whole render pass (effect or plain picture, mirror on) at 640 x 480 or 1920 x 1080, on the
// caller alone (one thread) or on two.
void RenderPass(benchmark::State& state) {
    const bool hd = state.range(2);
    testkit::Pipeline p(hd ? 1920 : 640, hd ? 1080 : 480);
    RowPool pool(static_cast<int>(state.range(3)));
    p.s.pool = &pool;
    std::mt19937 rng(2);
    p.random_ring(rng, 60);
    p.random_planes(rng);
    Controls c;
    c.sizeSwitchState = 1;
    c.effectEnabled = state.range(0) >= 0;
    c.selectedRow = static_cast<int>(state.range(0)) / 3;
    c.selectedColumn = static_cast<int>(state.range(0)) % 3;
    RenderHooks hooks;
    hooks.steps = state.range(1) ? ref::kEffectSteps : kEffectSteps;
    for (auto _ : state) {
        p.s.SFIndex = (p.s.SFIndex + 1) % kHistorySlots;  // a new newest frame for every pass
        render_pass(p.s, p.v, c, hooks);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(RenderPass)
    ->ArgNames({"mode", "scalar", "hd", "threads"})
    ->ArgsProduct({{-1, 0, 1, 2, 3, 4, 5}, {1}, {0}, {1}})
    ->ArgsProduct({{-1, 0, 1, 2, 3, 4, 5}, {0}, {0, 1}, {1, 2}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
