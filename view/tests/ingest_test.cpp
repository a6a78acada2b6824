// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "frame_history.h"
#include "ingest.h"
#include "testkit.h"

namespace {

// Feeds deliveries with a controlled clock and records the readout.
class Ingestion : public ::testing::Test {
protected:
    Ingestion() : p(8, 4, kFullSize) {
        cb.clock = [this] { return now; };
        cb.showFrameRate = [this](double fps) { readouts.push_back(fps); };
        cb.setNeedsDisplay = [this] { ++redraws; };
    }
    void deliver_at(uint32_t t) {
        now = t;
        ingest_frame(p.s, p.v, cb);
    }
    testkit::Pipeline p;
    ViewCallbacks cb;
    uint32_t now = 0;
    std::vector<double> readouts;
    int redraws = 0;
};

TEST_F(Ingestion, FirstTwoDeliveriesAreDropped) {
    deliver_at(10);
    deliver_at(20);
    EXPECT_EQ(p.s.Depth, 0);
    EXPECT_EQ(p.v.timeFrames, 0);
    EXPECT_EQ(redraws, 0);
    EXPECT_TRUE(readouts.empty());
    deliver_at(30);
    EXPECT_EQ(p.s.Depth, 1);
    EXPECT_EQ(p.s.SFIndex, 1);
    EXPECT_EQ(p.v.timeFrames, 1);
    EXPECT_EQ(redraws, 1);
    EXPECT_TRUE(readouts.empty());
}

TEST_F(Ingestion, NothingHappensWithoutACamera) {
    p.s.LargeWidth = 0;
    for (int i = 0; i < 5; ++i) deliver_at(i);
    EXPECT_EQ(p.v.count, 0);
    EXPECT_EQ(p.s.Depth, 0);
}

TEST_F(Ingestion, ReadoutIsTheMeanRateOverUpToTwentyIntervals) {
    deliver_at(0);
    deliver_at(0);
    // Stored frame k (1-based) at T_k = 1000 + 30k + k*k, so the intervals are all different.
    auto T = [](int k) { return static_cast<uint32_t>(1000 + 30 * k + k * k); };
    for (int k = 1; k <= 22; ++k) deliver_at(T(k));
    ASSERT_EQ(readouts.size(), 21u);
    EXPECT_DOUBLE_EQ(readouts[0], 1000.0 / (T(2) - T(1)));
    EXPECT_DOUBLE_EQ(readouts[18], 19 * 1000.0 / (T(20) - T(1)));
    EXPECT_DOUBLE_EQ(readouts[19], 20 * 1000.0 / (T(21) - T(1)));
    EXPECT_DOUBLE_EQ(readouts[20], 20 * 1000.0 / (T(22) - T(2)));
}

TEST_F(Ingestion, ZeroElapsedTimeGivesAnInfiniteReadout) {
    for (int i = 0; i < 4; ++i) deliver_at(500);
    ASSERT_EQ(readouts.size(), 1u);
    EXPECT_TRUE(std::isinf(readouts[0]));
}

TEST_F(Ingestion, RingWrapsAfterSixtyFrames) {
    deliver_at(0);
    deliver_at(0);
    for (int k = 0; k < 60; ++k) {
        p.fill_camera(1, static_cast<uint8_t>(k), 0, 0);
        deliver_at(k);
        ASSERT_EQ(p.s.Depth, k + 1);
    }
    EXPECT_EQ(p.s.Depth, 60);
    EXPECT_EQ(p.s.SFIndex, 0);
    p.fill_camera(1, 200, 0, 0);
    deliver_at(61);
    EXPECT_EQ(p.s.Depth, 60);
    EXPECT_EQ(p.s.SFIndex, 1);
    EXPECT_EQ(p.s.sourceFrames[0][1], 200) << "the 61st frame overwrites slot 0";
    EXPECT_EQ(p.s.sourceFrames[1][1], 1);
}

TEST_F(Ingestion, HalfSizeCopiesTheTopLeftCornerOfTheCameraBuffer) {
    setup_size_params(p.s, kHalfSize, false);
    for (int y = 0; y < p.s.LargeHeight; ++y)
        for (int x = 0; x < p.s.LargeWidth; ++x)
            p.s.srcData[y * p.s.LargeSrcRowBytes + 4 * x + 1] = static_cast<uint8_t>(10 * y + x);
    for (int i = 0; i < 3; ++i) deliver_at(i);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(p.slot_pixel(0, x, y)[1], 10 * y + x);
}

TEST_F(Ingestion, SizeChangeEmptiesTheRingButKeepsTheReadoutWindow) {
    for (int i = 0; i < 10; ++i) deliver_at(100 * i);
    for (size_t i = 0; i < 4 * p.s.planeFloats; ++i) p.s.fBuffer[i] = 3.0f;
    const int timeFrames = p.v.timeFrames, index = p.v.frameTimeIndex;
    setup_size_params(p.s, kHalfSize, false);
    EXPECT_EQ(p.s.Depth, 0);
    EXPECT_EQ(p.s.SFIndex, 0);
    for (size_t i = 0; i < 4 * p.s.planeFloats; ++i) ASSERT_EQ(p.s.fBuffer[i], 0.0f);
    EXPECT_EQ(p.v.timeFrames, timeFrames);
    EXPECT_EQ(p.v.frameTimeIndex, index);
    deliver_at(1000);
    // 8 stored frames at 200, 300, ..., 900: the window still starts at the first, T = 200.
    EXPECT_DOUBLE_EQ(readouts.back(), 8 * 1000.0 / (1000 - 200));
}

TEST(ViewInit, SeedsThePhasesAndMirrors) {
    PipelineState s;
    ViewState v;
    v.mirrorMode = false;
    v.timeFrames = 5;
    init_view_state(s, v, 1733500000);
    srand48(1733500000);
    EXPECT_EQ(s.Oc11, lrand48() % 360);
    EXPECT_EQ(s.Oc12, lrand48() % 360);
    EXPECT_EQ(s.Oc21, lrand48() % 360);
    EXPECT_EQ(s.Oc22, lrand48() % 360);
    EXPECT_TRUE(v.mirrorMode);
    EXPECT_EQ(v.timeFrames, 0);
}

}  // namespace
