// SPDX-License-Identifier: MIT
// The render tool end to end, raw frames in and an .rgb file out: frames per second for every
// effect and the plain picture (mirror on), at 640 x 480, 1280 x 720 and 1920 x 1080 working
// sizes, with one and two threads, full and half size.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "render_tool.h"

namespace {

constexpr int kDistinctFrames = 8;  // the clip cycles through these, so every frame moves

struct Clip {
    std::string path;
    int frames;
};

// A clip of random frames at w x h, written once per run of the benchmark. Long enough to fill
// the 60-frame history, so the figures are those of a full ring. In memory where there is a
// tmpfs: the disk's write-back of a fresh clip would slow the first runs down.
const Clip& clip_for(int w, int h) {
    static std::map<int, Clip> clips;
    auto it = clips.find(h);
    if (it != clips.end()) return it->second;
    struct stat st;
    const std::string dir =
        ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    Clip c{dir + "/wobble-bench-" + std::to_string(w) + "x" + std::to_string(h) + ".argb",
           h <= 480 ? 120 : 90};
    std::ofstream out(c.path, std::ios::binary);
    std::mt19937 rng(3);
    std::vector<std::string> frames(kDistinctFrames, std::string(4 * size_t(w) * h, '\0'));
    for (std::string& f : frames)
        for (size_t i = 0; i < f.size(); i += 4) {
            const uint32_t v = rng();
            f.replace(i, 4, reinterpret_cast<const char*>(&v), 4);
        }
    for (int k = 0; k < c.frames; ++k) out.write(frames[k % kDistinctFrames].data(), 4 * w * h);
    if (clips.empty())
        std::atexit([] {
            for (const auto& entry : clips) std::remove(entry.second.path.c_str());
        });
    return clips.emplace(h, c).first->second;
}

// Arguments: effect (0 the plain picture), working height (480, 720, 1080), threads, size
// (0 full, 1 half). The working size is the input's own (--max-height native above 480).
void RenderTool(benchmark::State& state) {
    const int effect = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    const int w = h == 480 ? 640 : h * 16 / 9;
    const int threads = static_cast<int>(state.range(2));
    const bool half = state.range(3) != 0;
    const Clip& clip = clip_for(w, h);
    const std::string out = "/tmp/wobble-bench-out.rgb";
    std::vector<std::string> args = {"render",
                                     "--raw-size",
                                     std::to_string(w) + "x" + std::to_string(h),
                                     "--size",
                                     half ? "half" : "full",
                                     "--effect",
                                     std::to_string(effect),
                                     "--mirror",
                                     "on",
                                     "--threads",
                                     std::to_string(threads),
                                     "--seed",
                                     "1",
                                     "--quiet"};
    if (h > 480) args.insert(args.end(), {"--max-height", "native"});
    args.insert(args.end(), {clip.path, out});
    for (auto _ : state) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        if (render_main(static_cast<int>(argv.size()), argv.data()) != 0) {
            state.SkipWithError("the render tool refused the run (see its message above)");
            break;
        }
    }
    const double frames = double(clip.frames) * state.iterations();
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    std::remove(out.c_str());
}
BENCHMARK(RenderTool)
    ->ArgNames({"effect", "height", "threads", "half"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {480, 720, 1080}, {1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
