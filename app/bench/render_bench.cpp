// SPDX-License-Identifier: MIT
// The render tool end to end: frames per second with file input and output.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "render_tool.h"

namespace {

// The render tool on a 640 x 480 clip of 120 frames at full size: frames per second, file I/O
// included.
void RenderTool(benchmark::State& state) {
    static const std::string clip = [] {
        const std::string path = "/tmp/wobble-bench-640x480.argb";
        std::ofstream out(path, std::ios::binary);
        std::mt19937 rng(3);
        std::string frame(640 * 480 * 4, '\0');
        for (int f = 0; f < 120; ++f) {
            for (char& b : frame) b = static_cast<char>(rng());
            out.write(frame.data(), frame.size());
        }
        return path;
    }();
    const std::string effect = std::to_string(state.range(0));
    const std::string out = "/tmp/wobble-bench-out.rgb";
    for (auto _ : state) {
        std::vector<std::string> args = {"render", "--raw-size", "640x480", "--size", "full", "--effect",
                                         effect,   "--seed",     "1",       "--quiet", clip,  out};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        if (render_main(static_cast<int>(argv.size()), argv.data()) != 0) state.SkipWithError("render failed");
    }
    state.counters["fps"] = benchmark::Counter(120.0 * state.iterations(), benchmark::Counter::kIsRate);
    std::remove(out.c_str());
}
BENCHMARK(RenderTool)->ArgName("effect")->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
