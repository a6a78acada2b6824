// SPDX-License-Identifier: MIT
// What each effect shows, worked out by hand, on the vector steps; the scalar twins give the same
// bytes (view/tests/equivalence_test.cpp).
#include "effects.h"

#include <gtest/gtest.h>

#include <cstring>

#include "testkit.h"

namespace {

// Every pixel of history slot k set to (0, r, g, b).
void fill_slot(testkit::Pipeline& p, int k, uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t px[4] = {0, r, g, b};
    for (int y = 0; y < p.s.Height; ++y)
        for (int x = 0; x < p.s.Width; ++x) std::memcpy(p.slot_pixel(k, x, y), px, 4);
}

// Slot k holds red = k, green = 255 - k, blue = 3, in a ring that has taken `depth` frames.
void label_slots(testkit::Pipeline& p, int depth = kHistorySlots) {
    for (int k = 0; k < kHistorySlots; ++k) fill_slot(p, k, k, 255 - k, 3);
    p.s.Depth = depth;
    p.s.SFIndex = depth % kHistorySlots;
}

// One pass of an effect on the frame now in the camera buffer.
void pass(testkit::Pipeline& p, EffectStep step) {
    p.deliver();
    p.begin_pass();
    step(p.s);
}

std::tuple<int, int, int> rgb(const testkit::Pipeline& p, int x, int y) {
    return {p.out(x, y, 0), p.out(x, y, 1), p.out(x, y, 2)};
}

TEST(WaveTimeWarp, PhasesAdvanceBySevenSeventeenThirteenTwentyThreeTenthsModulo3600) {
    testkit::Pipeline p(8, 4);
    label_slots(p, 2);
    p.s.Oc11 = 3595, p.s.Oc12 = 3590, p.s.Oc21 = 0, p.s.Oc22 = 3577;
    p.begin_pass();
    wave_time_warp_step(p.s);
    EXPECT_EQ(std::tie(p.s.Oc11, p.s.Oc12, p.s.Oc21, p.s.Oc22), std::make_tuple(2, 7, 13, 0));
    EXPECT_EQ(p.s.base, p.s.bitmap->data + 4 * p.s.rowBytes) << "base ends past the last row";
}

// A steady white scene from a zero average: 5, 10, 15, 20, 25, then 127 after 34 passes, 129
// after 35, 230 after 114 and 251 after 200; any steady value is reached in the end.
TEST(Exposure, BrightensByTheKnownStepsAndSettlesAtAnyConstantValue) {
    testkit::Pipeline p(8, 2);
    std::memset(p.s.srcData, 255, 8 * 2 * 4);
    const int after[] = {1, 2, 3, 4, 5, 34, 35, 114, 200},
              value[] = {5, 10, 15, 20, 25, 127, 129, 230, 251};
    for (int i = 0, n = 0; i < 9; ++i) {
        for (; n < after[i]; ++n) pass(p, exposure_step);
        ASSERT_EQ(rgb(p, 5, 1), std::make_tuple(value[i], value[i], value[i])) << "pass " << n;
    }
    for (int value : {0, 1, 17, 128, 254, 255}) {
        testkit::Pipeline q(4, 1);
        std::memset(q.s.srcData, value, 4 * 4);
        for (int n = 0; n < 3000; ++n) pass(q, exposure_step);
        EXPECT_EQ(q.out(2, 0, 1), value);
    }
}

// The four effects that keep the running average continue one unbroken average: alternating
// between them gives the same average as running exposure alone.
TEST(RunningAverage, IsSharedWithoutAJumpAcrossEffects) {
    testkit::Pipeline mixed(8, 2), alone(8, 2);
    std::mt19937 rngMixed(11), rngAlone(11);
    const EffectStep steps[] = {exposure_step, motion_trace_step, motion_delay_step,
                                motion_paint_step};
    for (int n = 0; n < 40; ++n) {
        mixed.random_camera(rngMixed);
        alone.random_camera(rngAlone);
        pass(mixed, steps[n % 4]);
        pass(alone, exposure_step);
        ASSERT_EQ(0, std::memcmp(mixed.s.fBuffer, alone.s.fBuffer, mixed.s.planeFloats * 4))
            << "pass " << n;
    }
}

// (250, 0, 0) against a zero average moves the red average by exactly 5.0: a uniform measure of 5,
// which diffusion leaves as it is, gives a delay of 29.5 frames, the even blend of the frames 29
// and 30 captures older than the newest.
TEST(MotionDelay, DelaysByTheMeasuredMotion) {
    testkit::Pipeline p(12, 5);
    label_slots(p);
    fill_slot(p, 59, 250, 0, 0);
    fill_slot(p, 30, 100, 40, 9);
    fill_slot(p, 29, 102, 43, 11);
    p.begin_pass();
    motion_delay_step(p.s);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(rgb(p, x, y), std::make_tuple(101, 42, 10)) << x << "," << y;
}

// Every pixel comes from slot r mod Depth, one draw of the C library's generator serving five
// pixels shifted right by 0, 6, 12, 18 and 24 bits, every row starting with a fresh draw.
TEST(TimeScatter, PicksSlotsFromOneDrawPerFivePixelsAndAFreshDrawPerRow) {
    for (int depth : {2, 7, 60}) {
        testkit::Pipeline p(13, 3);
        label_slots(p, depth);
        wobble_srand48(424242);
        p.begin_pass();
        time_scatter_step(p.s);
        srand48(424242);
        for (int y = 0; y < 3; ++y)
            for (long x = 0, r = 0; x < 13; ++x) {
                r = x % 5 == 0 ? lrand48() : r >> 6;
                const int slot = static_cast<int>(r % depth);
                ASSERT_EQ(rgb(p, x, y), std::make_tuple(slot, 255 - slot, 3))
                    << x << "," << y << " depth " << depth;
            }
    }
}

}  // namespace
