// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "effects.h"
#include "testkit.h"

namespace {

constexpr float kK = 0.2499f;

class MotionPaint : public ::testing::TestWithParam<EffectStep> {
protected:
    // A black still scene whose average is black: the paint weight is 0 and only diffusion acts.
    void black_still(testkit::Pipeline& p) {
        for (int k = 0; k < kHistorySlots; ++k) p.fill_slot(k, 0);
        p.s.Depth = 2;
        p.s.SFIndex = 2;
    }
    float paint(const testkit::Pipeline& p, int x, int y, int c) const {
        return p.s.fBuffer2[plane_index(p.s, x, y, c)];
    }
};

// The first pass after a size change: the average is far below the scene.
TEST_P(MotionPaint, FirstPassPaintsByHowFarTheColourIsFromTheAverage) {
    testkit::Pipeline p(3, 1);
    const uint8_t colours[3][3] = {{200, 100, 50}, {100, 100, 100}, {30, 30, 30}};
    uint8_t* f = p.s.sourceFrames[1];
    for (int x = 0; x < 3; ++x) {
        f[4 * x + 1] = colours[x][0], f[4 * x + 2] = colours[x][1], f[4 * x + 3] = colours[x][2];
    }
    p.s.Depth = 2;
    p.s.SFIndex = 2;
    p.begin_pass();
    GetParam()(p.s);
    // M = 7 gives w = 1; M = 6 gives w = 0.8; M = 1.8 gives w = 0.
    const int expected[3][3] = {{200, 100, 50}, {80, 80, 80}, {0, 0, 0}};
    for (int x = 0; x < 3; ++x)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(p.out(x, 0, c), expected[x][c]) << "x " << x << " c " << c;
}

TEST_P(MotionPaint, LoneValueSpreadsToItsFourNeighbours) {
    testkit::Pipeline p(8, 5);
    black_still(p);
    p.s.fBuffer2[plane_index(p.s, 3, 2, 1)] = 100.0f;  // green of an interior pixel
    p.begin_pass();
    GetParam()(p.s);
    EXPECT_NEAR(paint(p, 3, 2, 1), 0.04f, 1e-4);
    for (auto [x, y] : {std::pair{2, 2}, {4, 2}, {3, 1}, {3, 3}}) {
        EXPECT_NEAR(paint(p, x, y, 1), 24.99f, 1e-4);
        EXPECT_EQ(p.out(x, y, 1), 25);
        EXPECT_EQ(paint(p, x, y, 0), 0.0f) << "channels do not mix";
    }
    EXPECT_EQ(paint(p, 2, 1, 1), 0.0f) << "no diagonal spread";
}

TEST_P(MotionPaint, CornerKeepsHalfAndGivesToItsTwoNeighbours) {
    testkit::Pipeline p(8, 5);
    black_still(p);
    p.s.fBuffer2[plane_index(p.s, 7, 4, 2)] = 100.0f;
    p.begin_pass();
    GetParam()(p.s);
    EXPECT_NEAR(paint(p, 7, 4, 2), 50.02f, 1e-4);
    EXPECT_NEAR(paint(p, 6, 4, 2), 24.99f, 1e-4);
    EXPECT_NEAR(paint(p, 7, 3, 2), 24.99f, 1e-4);
}

TEST_P(MotionPaint, UniformPaintStaysUnchanged) {
    testkit::Pipeline p(9, 4);
    black_still(p);
    for (size_t i = 0; i < p.s.planeFloats; ++i) p.s.fBuffer2[i] = 77.25f;
    p.begin_pass();
    GetParam()(p.s);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(paint(p, x, y, 0), 77.25f);
}

// Paint left behind by motion paint is kept while other effects run and resumed afterwards.
TEST_P(MotionPaint, PaintPlaneIsKeptAcrossOtherEffects) {
    testkit::Pipeline p(8, 2);
    std::mt19937 rng(2);
    p.random_ring(rng, 60);
    p.begin_pass();
    GetParam()(p.s);
    std::vector<float> kept(p.s.fBuffer2, p.s.fBuffer2 + p.s.planeFloats);
    for (EffectStep other : {&wave_time_warp_step, &exposure_step, &motion_trace_step,
                             &motion_delay_step, &time_scatter_step}) {
        p.begin_pass();
        other(p.s);
    }
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), p.s.fBuffer2));
}

// The diffusion of a 4 x 3 plane of one channel: horizontal ((C + left) - right), then vertical
// (+ from above, then - to below). `swapped` exchanges both orders.
std::vector<float> diffuse(const std::vector<float>& C, int w, int h, bool swapped) {
    auto at = [&](int x, int y) { return C[y * w + x]; };
    std::vector<float> P(C.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float left = x > 0 ? kK * (at(x - 1, y) - at(x, y)) : 0.0f;
            const float right = x + 1 < w ? kK * (at(x, y) - at(x + 1, y)) : 0.0f;
            P[y * w + x] = swapped ? (at(x, y) - right) + left : (at(x, y) + left) - right;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float& v = P[y * w + x];
            const float above = y > 0 ? kK * (at(x, y - 1) - at(x, y)) : 0.0f;
            const float below = y + 1 < h ? kK * (at(x, y) - at(x, y + 1)) : 0.0f;
            if (swapped) {
                if (y + 1 < h) v = v - below;
                if (y > 0) v = v + above;
            } else {
                if (y > 0) v = v + above;
                if (y + 1 < h) v = v - below;
            }
        }
    return P;
}

TEST_P(MotionPaint, DiffusionAddsBeforeItSubtractsInBothDirections) {
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> colour(0.0f, 255.0f);
    int found = 0;
    for (int tries = 0; found < 5 && tries < 10000; ++tries) {
        std::vector<float> C(12);
        for (float& v : C) v = colour(rng);
        const std::vector<float> pinned = diffuse(C, 4, 3, false), swapped = diffuse(C, 4, 3, true);
        if (pinned == swapped) continue;
        ++found;
        testkit::Pipeline p(4, 3);
        black_still(p);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) p.s.fBuffer2[plane_index(p.s, x, y, 2)] = C[y * 4 + x];
        p.begin_pass();
        GetParam()(p.s);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                ASSERT_EQ(paint(p, x, y, 2), pinned[y * 4 + x]) << x << "," << y;
    }
    EXPECT_EQ(found, 5);
}

INSTANTIATE_TEST_SUITE_P(VectorAndScalar, MotionPaint,
                         ::testing::Values(&motion_paint_step, &ref::motion_paint_step),
                         [](const auto& info) {
                             return std::string(info.index ? "Scalar" : "Vector");
                         });

}  // namespace
