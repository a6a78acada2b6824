// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "effects.h"
#include "testkit.h"

namespace {

constexpr float kK = 0.2499f;

void fill_slot(testkit::Pipeline& p, int slot, uint8_t r, uint8_t g, uint8_t b) {
    for (int y = 0; y < p.s.Height; ++y)
        for (int x = 0; x < p.s.Width; ++x) {
            uint8_t* px = p.slot_pixel(slot, x, y);
            px[0] = 0, px[1] = r, px[2] = g, px[3] = b;
        }
}

// A full ring, newest slot 59, every slot a different grey.
void grey_ring(testkit::Pipeline& p) {
    for (int k = 0; k < kHistorySlots; ++k)
        fill_slot(p, k, static_cast<uint8_t>(k), static_cast<uint8_t>(k), 7);
    p.s.Depth = 60;
    p.s.SFIndex = 0;
}

class MotionDelay : public ::testing::TestWithParam<EffectStep> {};

// (250, 0, 0) against a zero average moves the red average by exactly 5.0: a uniform measure of 5,
// which diffusion leaves as it is, gives d = 29.5, the even blend of the frames 29 and 30 captures
// older than the newest.
TEST_P(MotionDelay, MeasureOfFiveBlendsFrames29And30Evenly) {
    testkit::Pipeline p(12, 5);
    grey_ring(p);
    fill_slot(p, 59, 250, 0, 0);
    fill_slot(p, 30, 100, 40, 9);   // 29 older than slot 59
    fill_slot(p, 29, 102, 43, 11);  // 30 older
    p.begin_pass();
    GetParam()(p.s);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 12; ++x) {
            ASSERT_EQ(p.out(x, y, 0), 101) << x << "," << y;
            ASSERT_EQ(p.out(x, y, 1), 42) << "41.5 rounds to even";
            ASSERT_EQ(p.out(x, y, 2), 10);
        }
}

TEST_P(MotionDelay, ConvergedStillSceneShowsTheNewestFrame) {
    testkit::Pipeline p(13, 4);
    std::mt19937 rng(5);
    p.random_ring(rng, 60);
    const int newest = newest_slot(p.s);
    for (int y = 0; y < p.s.Height; ++y)
        for (int x = 0; x < p.s.Width; ++x)
            for (int c = 0; c < 3; ++c)
                p.s.fBuffer[plane_index(p.s, x, y, c)] =
                    p.slot_pixel(newest, x, y)[1 + c];
    p.begin_pass();
    GetParam()(p.s);
    for (int y = 0; y < p.s.Height; ++y)
        for (int x = 0; x < p.s.Width; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(p.out(x, y, c), p.slot_pixel(newest, x, y)[1 + c]);
}

// A white frame against a zero average measures 15.3: the largest delay, the oldest frame held,
// unblended — also while the ring is still filling.
TEST_P(MotionDelay, LargeMeasureShowsTheOldestFrameHeld) {
    for (int depth : {60, 9}) {
        testkit::Pipeline p(8, 3);
        grey_ring(p);
        p.s.Depth = depth;
        p.s.SFIndex = depth % 60;
        const int newest = (p.s.SFIndex + 59) % 60;
        fill_slot(p, newest, 255, 255, 255);
        const int oldest = depth == 60 ? p.s.SFIndex : 0;
        fill_slot(p, oldest, 33, 66, 99);
        p.begin_pass();
        GetParam()(p.s);
        EXPECT_EQ(p.out(3, 1, 0), 33) << "depth " << depth;
        EXPECT_EQ(p.out(3, 1, 1), 66);
        EXPECT_EQ(p.out(3, 1, 2), 99);
    }
}

INSTANTIATE_TEST_SUITE_P(VectorAndScalar, MotionDelay,
                         ::testing::Values(&motion_delay_step, &ref::motion_delay_step),
                         [](const auto& info) {
                             return std::string(info.index ? "Scalar" : "Vector");
                         });

// One horizontal diffusion step of a row, each pixel taking (m - flux to the right) + flux from
// the left; `swapped` adds the left flux first.
std::vector<float> horizontal_step(const std::vector<float>& c, bool swapped) {
    std::vector<float> m(c.size());
    for (size_t x = 0; x < c.size(); ++x) {
        const float right = x + 1 < c.size() ? kK * (c[x] - c[x + 1]) : 0.0f;
        const float left = x > 0 ? kK * (c[x - 1] - c[x]) : 0.0f;
        m[x] = swapped ? (c[x] + left) - right : (c[x] - right) + left;
    }
    return m;
}

// The measure of a 4 x 1 picture whose newest frame is black and whose red average is a: each
// pixel measures |a * 0.98 - a|.
TEST_P(MotionDelay, HorizontalSweepSubtractsTheRightFluxBeforeAddingTheLeft) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> avg(0.0f, 255.0f);
    for (int found = 0, tries = 0; found < 5 && tries < 100000; ++tries) {
        float a[4];
        std::vector<float> m(4);
        for (int x = 0; x < 4; ++x) {
            a[x] = avg(rng);
            m[x] = std::fabs((0.0f * 0.02f + a[x] * 0.98f) - a[x]);
        }
        const std::vector<float> pinned = horizontal_step(horizontal_step(m, false), false);
        const std::vector<float> swapped = horizontal_step(horizontal_step(m, true), true);
        if (pinned == swapped) continue;  // this input cannot tell the orders apart
        ++found;
        testkit::Pipeline p(4, 1);
        p.s.Depth = 2;
        p.s.SFIndex = 2;
        fill_slot(p, 1, 0, 0, 0);
        for (int x = 0; x < 4; ++x) p.s.fBuffer[plane_index(p.s, x, 0, 0)] = a[x];
        p.begin_pass();
        GetParam()(p.s);
        for (int x = 0; x < 4; ++x) ASSERT_EQ(p.s.fBuffer3[x], pinned[x]) << "x " << x;
    }
}

}  // namespace
