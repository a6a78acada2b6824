// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "effects.h"
#include "testkit.h"

namespace {

// Slot k holds red = 4k in every pixel; green and blue 0.
void fill_ring_by_slot(testkit::Pipeline& p, int depth, int sfIndex) {
    for (int k = 0; k < kHistorySlots; ++k) {
        p.fill_slot(k, 0);
        for (int y = 0; y < p.s.Height; ++y)
            for (int x = 0; x < p.s.Width; ++x) p.slot_pixel(k, x, y)[1] = static_cast<uint8_t>(4 * k);
    }
    p.s.Depth = depth;
    p.s.SFIndex = sfIndex;
}

TEST(WaveTimeWarp, PhasesAdvanceBySevenSeventeenThirteenTwentyThree) {
    testkit::Pipeline p(8, 4);
    fill_ring_by_slot(p, 2, 2);
    p.begin_pass();
    wave_time_warp_step(p.s);
    EXPECT_EQ(p.s.Oc11, 7);
    EXPECT_EQ(p.s.Oc12, 17);
    EXPECT_EQ(p.s.Oc21, 13);
    EXPECT_EQ(p.s.Oc22, 23);
}

TEST(WaveTimeWarp, EachPhaseComesBackAfter3600PassesAndNotBefore) {
    testkit::Pipeline p(4, 1);
    fill_ring_by_slot(p, 2, 2);
    p.s.Oc11 = 5, p.s.Oc12 = 100, p.s.Oc21 = 359, p.s.Oc22 = 0;
    for (int pass = 1; pass <= 3600; ++pass) {
        p.begin_pass();
        wave_time_warp_step(p.s);
        const bool back = p.s.Oc11 == 5 || p.s.Oc12 == 100 || p.s.Oc21 == 359 || p.s.Oc22 == 0;
        ASSERT_EQ(back, pass == 3600) << "pass " << pass;
        ASSERT_TRUE(p.s.Oc11 >= 0 && p.s.Oc11 < 3600);
    }
    EXPECT_TRUE(p.s.Oc11 == 5 && p.s.Oc12 == 100 && p.s.Oc21 == 359 && p.s.Oc22 == 0);
}

TEST(WaveTimeWarp, ParametersStayInTheirRanges) {
    testkit::Pipeline p(4, 1);
    fill_ring_by_slot(p, 2, 2);
    for (int pass = 0; pass < 3600; pass += 1) {
        p.begin_pass();
        wave_time_warp_step(p.s);
        ASSERT_LE(std::fabs(p.s.Theta), 0.45f * 3.1415927f);
        ASSERT_LE(std::fabs(p.s.Phi), 0.45f * 3.1415927f);
        ASSERT_LE(std::fabs(p.s.TT), 0.5f);
    }
}

// The centre pixel of an even-sized picture has both slope terms 0: its delay is
// (Depth - 1) * (TT + 1) / 2 frames, between a quarter and three quarters of the history,
// whatever the tilt.
TEST(WaveTimeWarp, CentrePixelDelayDependsOnlyOnTheOffset) {
    testkit::Pipeline p(8, 4);
    fill_ring_by_slot(p, 60, 0);
    for (int start : {0, 900, 1800, 2700}) {
        p.s.Oc11 = p.s.Oc12 = p.s.Oc21 = p.s.Oc22 = start;
        p.begin_pass();
        wave_time_warp_step(p.s);
        const float t = (p.s.TT + 1.0f) * 0.5f;
        const float d = 59.0f * t;
        ASSERT_GE(d, 59.0f * 0.25f);
        ASSERT_LE(d, 59.0f * 0.75f);
        const int n = static_cast<int>(std::floor(d));
        const float w = d - static_cast<float>(n);
        const int near = (59 - n + 60) % 60, older = (near + 59) % 60;  // newest slot is 59
        const float expected = (1.0f - w) * (4 * near) + w * (4 * older);
        EXPECT_EQ(p.out(4, 2, 0), static_cast<uint8_t>(std::nearbyint(expected)))
            << "start " << start;
    }
}

// With two frames every pixel is a blend of the newest and the previous frame.
TEST(WaveTimeWarp, TwoFramesBlendNewestAndPrevious) {
    testkit::Pipeline p(64, 48);
    fill_ring_by_slot(p, 2, 2);  // slot 0 red 0, slot 1 (newest) red 4
    for (int y = 0; y < p.s.Height; ++y)
        for (int x = 0; x < p.s.Width; ++x) p.slot_pixel(1, x, y)[1] = 200;
    p.begin_pass();
    wave_time_warp_step(p.s);
    int lo = 255, hi = 0;
    for (int y = 0; y < p.s.Height; ++y)
        for (int x = 0; x < p.s.Width; ++x) {
            lo = std::min<int>(lo, p.out(x, y, 0));
            hi = std::max<int>(hi, p.out(x, y, 0));
            ASSERT_EQ(p.out(x, y, 1), 0);
        }
    EXPECT_GE(lo, 0);
    EXPECT_LE(hi, 200);
    EXPECT_LT(lo, hi) << "the delay varies across the picture";
}

TEST(WaveTimeWarp, LeavesByteThreeAndBaseAdvancesOneRowAtATime) {
    testkit::Pipeline p(12, 3);
    fill_ring_by_slot(p, 60, 10);
    std::mt19937 rng(3);
    p.random_output(rng);
    p.begin_pass();
    wave_time_warp_step(p.s);
    EXPECT_EQ(p.s.base, p.s.bitmap->data + 3 * p.s.rowBytes);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 12; ++x) EXPECT_EQ(p.out(x, y, 3), testkit::kSentinel);
}

}  // namespace
