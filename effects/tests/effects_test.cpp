// SPDX-License-Identifier: MIT
// What each effect shows, worked out by hand, on the vector steps (the scalar twins give the same
// bytes: equivalence_test.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
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

// Slot k holds red = k, green = 255 - k, blue = 3; a full ring unless depth says otherwise.
void label_slots(testkit::Pipeline& p, int depth = kHistorySlots) {
    for (int k = 0; k < kHistorySlots; ++k) fill_slot(p, k, static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k), 3);
    p.s.Depth = depth;
    p.s.SFIndex = depth % kHistorySlots;
}

// One pass of an effect on the frame now in the camera buffer.
void pass(testkit::Pipeline& p, EffectStep step) {
    p.deliver();
    p.begin_pass();
    step(p.s);
}

// Pixel k blends slot near[k] (weight 1 - w[k]) with the slot before it among the Depth in use,
// rounding ties to even; byte 3 keeps what it held.
TEST(Vsmooth, BlendsTheNearAndTheOlderFrameRoundingTiesToEven) {
    struct Quad {
        int depth;
        int32_t near[4];
        float w[4];
        int red[4];
    };
    const Quad quads[] = {{60, {5, 6, 7, 59}, {0, 0, 0, 0}, {5, 6, 7, 59}},
                          {60, {1, 2, 3, 0}, {0.5f, 0.5f, 0.5f, 0.75f}, {0, 2, 2, 44}},  // 0.5 1.5 2.5 44.25
                          {7, {3, 0, 6, 1}, {0.75f, 0.75f, 0.25f, 0.9f}, {2, 4, 6, 0}}};  // 2.25 4.5 5.75 0.1
    testkit::Pipeline p(4, 1);
    label_slots(p);
    for (const Quad& q : quads) {
        p.s.Depth = q.depth;
        std::vector<uint8_t> vec(16, 0x77), sca(16, 0x77);
        vsmooth(p.s, vec.data(), q.near, q.w, 1);
        for (int k = 0; k < 4; ++k) ref::vsmooth_pixel(p.s, sca.data() + 4 * k, q.near[k], q.w[k], 1 + 4 * k);
        EXPECT_EQ(vec, sca) << "depth " << q.depth;
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(vec[4 * k], q.red[k]) << "depth " << q.depth << " pixel " << k;
            EXPECT_EQ(vec[4 * k + 3], 0x77);
        }
    }
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

// The centre pixel of an even-sized picture has both slope terms 0: its delay is
// (Depth - 1) * (TT + 1) / 2 frames, between a quarter and three quarters of the history.
TEST(WaveTimeWarp, CentrePixelDelayDependsOnlyOnTheOffset) {
    testkit::Pipeline p(8, 4);
    label_slots(p);  // newest slot 59
    for (int start : {0, 900, 1800, 2700}) {
        p.s.Oc11 = p.s.Oc12 = p.s.Oc21 = p.s.Oc22 = start;
        p.begin_pass();
        wave_time_warp_step(p.s);
        const float d = 59.0f * (p.s.TT + 1.0f) * 0.5f;
        ASSERT_TRUE(d >= 59.0f * 0.25f && d <= 59.0f * 0.75f) << d;
        const int near = 59 - static_cast<int>(d);
        const float w = d - std::floor(d);
        EXPECT_EQ(p.out(4, 2, 0), std::nearbyint((1.0f - w) * near + w * (near - 1))) << "start " << start;
    }
}

// A steady white scene from a zero average: 5, 10, 15, 20, 25, then 127 after 34 passes, 129
// after 35, 230 after 114 and 251 after 200; any steady value is reached in the end.
TEST(Exposure, BrightensByTheKnownStepsAndSettlesAtAnyConstantValue) {
    testkit::Pipeline p(8, 2);
    p.fill_camera(0, 255, 255, 255);
    const std::map<int, int> expected = {{1, 5}, {2, 10}, {3, 15}, {4, 20}, {5, 25}, {34, 127}, {35, 129}, {114, 230}, {200, 251}};
    for (int n = 1; n <= 200; ++n) {
        pass(p, exposure_step);
        const auto it = expected.find(n);
        for (int x = 0; it != expected.end() && x < 8; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(p.out(x, 1, c), it->second) << "pass " << n;
    }
    for (int value : {0, 1, 17, 128, 254, 255}) {
        testkit::Pipeline q(4, 1);
        q.fill_camera(0, value, value, value);
        for (int n = 0; n < 3000; ++n) pass(q, exposure_step);
        EXPECT_EQ(q.out(2, 0, 1), value);
    }
}

TEST(MotionTrace, ShowsFiftyTimesTheChangeOfTheAverageAndFadesOnASteadyScene) {
    testkit::Pipeline p(8, 2);
    p.fill_camera(0, 200, 0, 100);
    pass(p, motion_trace_step);
    // 0.02 * 200 = 4.0, times 50 is 200; 0.02 * 100 * 50 = 100.
    EXPECT_EQ(std::make_tuple(p.out(5, 1, 0), p.out(5, 1, 1), p.out(5, 1, 2)), std::make_tuple(200, 0, 100));
    for (int n = 0; n < 2000; ++n) pass(p, motion_trace_step);
    EXPECT_EQ(std::make_tuple(p.out(5, 1, 0), p.out(5, 1, 1), p.out(5, 1, 2)), std::make_tuple(0, 0, 0));
}

// The four effects that keep the running average continue one unbroken average: alternating
// between them gives the same average as running exposure alone. Without planes none writes.
TEST(RunningAverage, IsSharedWithoutAJumpAcrossEffectsAndNeedsThePlanes) {
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
    std::free(mixed.s.fBuffer);
    mixed.s.fBuffer = nullptr;
    for (EffectStep step : steps) {
        mixed.random_output(rng);
        const std::vector<uint8_t> before = mixed.output_bytes();
        pass(mixed, step);
        EXPECT_EQ(mixed.output_bytes(), before);
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
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(std::make_tuple(p.out(x, y, 0), p.out(x, y, 1), p.out(x, y, 2)), std::make_tuple(101, 42, 10)) << x << "," << y;
    for (int depth : {60, 9}) {
        testkit::Pipeline q(8, 3);
        label_slots(q, depth);
        fill_slot(q, (q.s.SFIndex + 59) % 60, 255, 255, 255);
        fill_slot(q, depth == 60 ? q.s.SFIndex : 0, 33, 66, 99);
        q.begin_pass();
        motion_delay_step(q.s);
        EXPECT_EQ(std::make_tuple(q.out(3, 1, 0), q.out(3, 1, 1), q.out(3, 1, 2)), std::make_tuple(33, 66, 99)) << "depth " << depth;
    }
}

TEST(MotionDelay, ConvergedStillSceneShowsTheNewestFrame) {
    testkit::Pipeline p(13, 4);
    p.randomise(5, 60);
    const int newest = newest_slot(p.s);
    for (int y = 0; y < p.s.Height; ++y)
        for (int x = 0; x < p.s.Width; ++x)
            for (int c = 0; c < 3; ++c) p.s.fBuffer[plane_index(p.s, x, y, c)] = p.slot_pixel(newest, x, y)[1 + c];
    p.begin_pass();
    motion_delay_step(p.s);
    for (int y = 0; y < p.s.Height; ++y)
        for (int x = 0; x < p.s.Width; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(p.out(x, y, c), p.slot_pixel(newest, x, y)[1 + c]);
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
                ASSERT_EQ(std::make_tuple(p.out(x, y, 0), p.out(x, y, 1), p.out(x, y, 2)), std::make_tuple(slot, 255 - slot, 3))
                    << "x " << x << " y " << y << " depth " << depth;
            }
    }
}

// The first pass after a size change: the average is far below the scene, and the colour is
// painted by how far it is from it: M = 7 gives weight 1, M = 6 gives 0.8, M = 1.8 gives 0.
TEST(MotionPaint, FirstPassPaintsByHowFarTheColourIsFromTheAverage) {
    testkit::Pipeline p(3, 1);
    const uint8_t colours[3][3] = {{200, 100, 50}, {100, 100, 100}, {30, 30, 30}};
    for (int x = 0; x < 3; ++x) std::memcpy(p.slot_pixel(1, x, 0) + 1, colours[x], 3);
    p.s.Depth = p.s.SFIndex = 2;
    p.begin_pass();
    motion_paint_step(p.s);
    const int expected[3][3] = {{200, 100, 50}, {80, 80, 80}, {0, 0, 0}};
    for (int x = 0; x < 3; ++x)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(p.out(x, 0, c), expected[x][c]) << "x " << x << " c " << c;
}

// In a black still scene only diffusion acts: an interior value gives 0.2499 of itself to each of
// its four neighbours, a corner value to its two, within its own channel.
TEST(MotionPaint, PaintSpreadsToTheFourNeighboursAndIsKeptAcrossOtherEffects) {
    testkit::Pipeline p(8, 5);
    label_slots(p, 2);
    fill_slot(p, 0, 0, 0, 0);
    fill_slot(p, 1, 0, 0, 0);
    auto paint = [&](int x, int y, int c) -> float& { return p.s.fBuffer2[plane_index(p.s, x, y, c)]; };
    paint(3, 2, 1) = 100.0f;
    paint(7, 4, 2) = 100.0f;
    p.begin_pass();
    motion_paint_step(p.s);
    EXPECT_NEAR(paint(3, 2, 1), 0.04f, 1e-4);
    for (auto [x, y] : {std::pair{2, 2}, {4, 2}, {3, 1}, {3, 3}}) {
        EXPECT_NEAR(paint(x, y, 1), 24.99f, 1e-4);
        EXPECT_EQ(p.out(x, y, 1), 25);
        EXPECT_EQ(paint(x, y, 0), 0.0f) << "channels do not mix";
    }
    EXPECT_EQ(paint(2, 1, 1), 0.0f) << "no diagonal spread";
    EXPECT_NEAR(paint(7, 4, 2), 50.02f, 1e-4);
    EXPECT_NEAR(paint(6, 4, 2), 24.99f, 1e-4);
    EXPECT_NEAR(paint(7, 3, 2), 24.99f, 1e-4);

    const std::vector<float> kept(p.s.fBuffer2, p.s.fBuffer2 + p.s.planeFloats);
    for (int mode = 0; mode < 5; ++mode) {
        p.begin_pass();
        kEffectSteps[mode](p.s);
    }
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), p.s.fBuffer2));
}

}  // namespace
