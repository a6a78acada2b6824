// SPDX-License-Identifier: MIT
// Golden bytes: each effect runs a few passes on tiny frames with a fixed seed; the expected output
// is hex text in golden/, written from the scalar kernels with UPDATE_GOLDEN=1 and checked against
// both kernels. A change of either kernel's bytes, or of a constant they share, shows up here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "effects.h"
#include "testkit.h"

namespace {

const char* const kNames[6] = {"wave", "exposure", "trace", "delay", "scatter", "paint"};

// Red, green and blue of five passes (after ten frames fed through the ingestion) on a w x h camera.
std::vector<uint8_t> run(int mode, int w, int h, bool scalar) {
    testkit::Pipeline p(w, h, kFullSize);
    std::mt19937 rng(static_cast<unsigned>(1000 * mode + 10 * w + h));
    p.s.Oc11 = 11, p.s.Oc12 = 222, p.s.Oc21 = 333, p.s.Oc22 = 44;
    wobble_srand48(2024);
    std::vector<uint8_t> all;
    for (int frame = 0; frame < 15; ++frame) {
        p.random_camera(rng);
        p.deliver();
        if (frame < 10) continue;
        p.begin_pass();
        (scalar ? ref::kEffectSteps : kEffectSteps)[mode](p.s);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) all.push_back(p.out(x, y, c));
    }
    return all;
}

class Golden : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(Golden, BothKernelsGiveTheRecordedBytes) {
    const auto [mode, w, h] = GetParam();
    const std::string path = std::string(GOLDEN_DIR) + "/" + kNames[mode] + "_" +
                             std::to_string(w) + "x" + std::to_string(h) + ".hex";
    if (std::getenv("UPDATE_GOLDEN")) {
        std::ofstream out(path);
        const std::vector<uint8_t> bytes = run(mode, w, h, true);
        for (size_t i = 0; i < bytes.size(); ++i)
            out << "0123456789abcdef"[bytes[i] >> 4] << "0123456789abcdef"[bytes[i] & 15]
                << (i % 32 == 31 || i + 1 == bytes.size() ? '\n' : ' ');
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream in(path);
    ASSERT_TRUE(in) << "missing " << path << " (run with UPDATE_GOLDEN=1 to write it)";
    std::vector<uint8_t> expected;
    for (std::string hex; in >> hex;) expected.push_back(static_cast<uint8_t>(std::stoi(hex, nullptr, 16)));
    for (bool scalar : {true, false}) {
        const std::vector<uint8_t> got = run(mode, w, h, scalar);
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const size_t px = i / 3;
            ASSERT_EQ(got[i], expected[i]) << (scalar ? "scalar" : "vector") << ": pass " << px / (w * h)
                                           << " x " << px % w << " y " << px % (w * h) / w << " channel " << i % 3;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TinyFrames, Golden,
                         ::testing::Combine(::testing::Range(0, 6), ::testing::Values(4, 8, 12),
                                            ::testing::Values(1, 3)),
                         [](const auto& info) {
                             return std::string(kNames[std::get<0>(info.param)]) + "_" +
                                    std::to_string(std::get<1>(info.param)) + "x" +
                                    std::to_string(std::get<2>(info.param));
                         });

}  // namespace
