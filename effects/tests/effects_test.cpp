// SPDX-License-Identifier: MIT
// What each effect shows, worked out by hand, on the vector steps; the scalar twins give the same
// bytes (view/tests/equivalence_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "effects.h"
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
    p.fill_camera(0, 255, 255, 255);
    int n = 0;
    for (auto [after, v] : {std::pair{1, 5}, {2, 10}, {3, 15}, {4, 20}, {5, 25}, {34, 127}, {35, 129}, {114, 230}, {200, 251}}) {
        for (; n < after; ++n) pass(p, exposure_step);
        ASSERT_EQ(rgb(p, 5, 1), std::make_tuple(v, v, v)) << "pass " << n;
    }
    for (int value : {0, 1, 17, 128, 254, 255}) {
        testkit::Pipeline q(4, 1);
        q.fill_camera(0, value, value, value);
        for (int n = 0; n < 3000; ++n) pass(q, exposure_step);
        EXPECT_EQ(q.out(2, 0, 1), value);
    }
}

// 0.02 * 200 = 4.0, times 50 is 200; 0.02 * 100 * 50 = 100.
TEST(MotionTrace, ShowsFiftyTimesTheChangeOfTheAverage) {
    testkit::Pipeline p(8, 2);
    p.fill_camera(0, 200, 0, 100);
    pass(p, motion_trace_step);
    EXPECT_EQ(rgb(p, 5, 1), std::make_tuple(200, 0, 100));
}

// The four effects that keep the running average continue one unbroken average: alternating
// between them gives the same average as running exposure alone.
TEST(RunningAverage, IsSharedWithoutAJumpAcrossEffects) {
    testkit::Pipeline mixed(8, 2), alone(8, 2);
    std::mt19937 rng(11);
    const EffectStep steps[] = {exposure_step, motion_trace_step, motion_delay_step, motion_paint_step};
    for (int n = 0; n < 40; ++n) {
        mixed.random_camera(rng);
        std::memcpy(alone.s.srcData, mixed.s.srcData, static_cast<size_t>(mixed.s.LargeSrcRowBytes) * 2);
        pass(mixed, steps[n % 4]);
        pass(alone, exposure_step);
        ASSERT_EQ(0, std::memcmp(mixed.s.fBuffer, alone.s.fBuffer, mixed.s.planeFloats * sizeof(float))) << "pass " << n;
    }
}

// (250, 0, 0) against a zero average moves the red average by exactly 5.0: a uniform measure of 5,
// which diffusion leaves as it is, gives a delay of 29.5 frames, the even blend of the frames 29
// and 30 captures older than the newest. A white frame measures 15.3: the oldest frame held.
TEST(MotionDelay, DelaysByTheMeasuredMotion) {
    testkit::Pipeline p(12, 5);
    label_slots(p);
    fill_slot(p, 59, 250, 0, 0);
    fill_slot(p, 30, 100, 40, 9);
    fill_slot(p, 29, 102, 43, 11);
    p.begin_pass();
    motion_delay_step(p.s);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 12; ++x) ASSERT_EQ(rgb(p, x, y), std::make_tuple(101, 42, 10)) << x << "," << y;
    for (int depth : {60, 9}) {
        testkit::Pipeline q(8, 3);
        label_slots(q, depth);
        fill_slot(q, (q.s.SFIndex + 59) % 60, 255, 255, 255);
        fill_slot(q, depth == 60 ? q.s.SFIndex : 0, 33, 66, 99);
        q.begin_pass();
        motion_delay_step(q.s);
        EXPECT_EQ(rgb(q, 3, 1), std::make_tuple(33, 66, 99)) << "depth " << depth;
    }
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
                ASSERT_EQ(rgb(p, x, y), std::make_tuple(slot, 255 - slot, 3)) << x << "," << y << " depth " << depth;
            }
    }
}

// The first pass after a size change: the average is far below the scene, and the colour is
// painted by how far it is from it: M = 7 gives weight 1, M = 6 gives 0.8, M = 1.8 gives 0.
TEST(MotionPaint, FirstPassPaintsByHowFarTheColourIsFromTheAverage) {
    testkit::Pipeline p(3, 1);
    label_slots(p, 2);
    const uint8_t colours[3][3] = {{200, 100, 50}, {100, 100, 100}, {30, 30, 30}};
    for (int x = 0; x < 3; ++x) std::memcpy(p.slot_pixel(1, x, 0) + 1, colours[x], 3);
    p.begin_pass();
    motion_paint_step(p.s);
    EXPECT_EQ(std::make_tuple(rgb(p, 0, 0), rgb(p, 1, 0), rgb(p, 2, 0)),
              std::make_tuple(std::make_tuple(200, 100, 50), std::make_tuple(80, 80, 80), std::make_tuple(0, 0, 0)));
}

// In a black still scene only diffusion acts: an interior value gives 0.2499 of itself to each of
// its four neighbours, a corner value to its two, within its own channel.
TEST(MotionPaint, PaintSpreadsToTheFourNeighboursWithinItsChannel) {
    testkit::Pipeline p(8, 5);
    label_slots(p, 2);
    fill_slot(p, 1, 0, 0, 0);
    auto paint = [&](int x, int y, int c) -> float& { return p.s.fBuffer2[plane_index(p.s, x, y, c)]; };
    paint(3, 2, 1) = paint(7, 4, 2) = 100.0f;
    p.begin_pass();
    motion_paint_step(p.s);
    for (auto [x, y, c, value] : {std::tuple{3, 2, 1, 0.04f}, {2, 2, 1, 24.99f}, {4, 2, 1, 24.99f}, {3, 1, 1, 24.99f},
                                  {3, 3, 1, 24.99f}, {2, 1, 1, 0.0f}, {3, 2, 0, 0.0f}, {7, 4, 2, 50.02f},
                                  {6, 4, 2, 24.99f}, {7, 3, 2, 24.99f}, {6, 3, 2, 0.0f}})
        EXPECT_NEAR(paint(x, y, c), value, 1e-4) << x << "," << y << " channel " << c;
    EXPECT_EQ(p.out(3, 1, 1), 25);
}

}  // namespace
