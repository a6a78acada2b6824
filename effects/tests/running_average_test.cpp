// SPDX-License-Identifier: MIT
// Exposure and motion trace, and the running average they share with the other effects.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "effects.h"
#include "testkit.h"

namespace {

// One pass of an effect on the frame now in the camera buffer.
void pass(testkit::Pipeline& p, EffectStep step) {
    p.deliver();
    p.begin_pass();
    step(p.s);
}

class SteadyWhite : public ::testing::TestWithParam<EffectStep> {};

// A steady white scene from a zero average: 5, 10, 15, 20, 25, then 127 after 34 passes, 129
// after 35, 230 after 114 and 251 after 200.
TEST_P(SteadyWhite, ExposureBrightensByTheKnownSteps) {
    testkit::Pipeline p(8, 2);
    p.fill_camera(0, 255, 255, 255);
    const std::map<int, int> expected = {{1, 5},    {2, 10},   {3, 15},    {4, 20},   {5, 25},
                                         {34, 127}, {35, 129}, {114, 230}, {200, 251}};
    for (int n = 1; n <= 200; ++n) {
        pass(p, GetParam());
        if (auto it = expected.find(n); it != expected.end()) {
            for (int x = 0; x < 8; ++x)
                for (int c = 0; c < 3; ++c) ASSERT_EQ(p.out(x, 1, c), it->second) << "pass " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(VectorAndScalar, SteadyWhite,
                         ::testing::Values(&exposure_step, &ref::exposure_step),
                         [](const auto& info) {
                             return std::string(info.index ? "Scalar" : "Vector");
                         });

TEST(Exposure, SettlesAtAnyConstantValue) {
    for (int value : {0, 1, 17, 128, 200, 254, 255}) {
        testkit::Pipeline p(4, 1);
        p.fill_camera(0, static_cast<uint8_t>(value), static_cast<uint8_t>(value),
                      static_cast<uint8_t>(value));
        for (int n = 0; n < 3000; ++n) pass(p, exposure_step);
        EXPECT_EQ(p.out(2, 0, 1), value);
    }
}

TEST(MotionTrace, ShowsTheDistanceFromTheAverageTimesFifty) {
    testkit::Pipeline p(4, 1);
    p.fill_camera(0, 200, 0, 100);
    pass(p, motion_trace_step);
    // 0.02 * 200 = 4.0, times 50 is 200; 0.02 * 100 * 50 = 100.
    EXPECT_EQ(p.out(0, 0, 0), 200);
    EXPECT_EQ(p.out(0, 0, 1), 0);
    EXPECT_EQ(p.out(0, 0, 2), 100);
}

TEST(MotionTrace, SteadySceneFadesToBlack) {
    testkit::Pipeline p(8, 2);
    p.fill_camera(0, 90, 180, 250);
    for (int n = 0; n < 2000; ++n) pass(p, motion_trace_step);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(p.out(5, 1, c), 0);
}

// The four effects that keep the running average continue one unbroken average: alternating
// between them gives the same average as running exposure alone.
TEST(RunningAverage, IsSharedWithoutAJumpAcrossEffects) {
    testkit::Pipeline mixed(8, 2), alone(8, 2);
    std::mt19937 rng(11);
    const EffectStep steps[] = {exposure_step, motion_trace_step, motion_delay_step,
                                motion_paint_step};
    for (int n = 0; n < 40; ++n) {
        mixed.random_camera(rng);
        std::memcpy(alone.s.srcData, mixed.s.srcData,
                    static_cast<size_t>(mixed.s.LargeSrcRowBytes) * 2);
        pass(mixed, steps[n % 4]);
        pass(alone, exposure_step);
        ASSERT_EQ(
            0, std::memcmp(mixed.s.fBuffer, alone.s.fBuffer, mixed.s.planeFloats * sizeof(float)))
            << "pass " << n;
    }
}

TEST(RunningAverage, NeitherStepWritesWithoutPlanes) {
    for (EffectStep step : {&exposure_step, &motion_trace_step, &motion_delay_step,
                            &motion_paint_step, &ref::exposure_step, &ref::motion_trace_step,
                            &ref::motion_delay_step, &ref::motion_paint_step}) {
        testkit::Pipeline p(8, 2);
        p.fill_camera(0, 10, 20, 30);
        p.deliver();
        p.deliver();
        std::mt19937 rng(1);
        p.random_output(rng);
        const std::vector<uint8_t> before = p.output_bytes();
        std::free(p.s.fBuffer);
        p.s.fBuffer = nullptr;
        p.begin_pass();
        step(p.s);
        EXPECT_EQ(p.output_bytes(), before);
    }
}

}  // namespace
