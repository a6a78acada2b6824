// SPDX-License-Identifier: MIT
#include "ingest.h"

#include <gtest/gtest.h>

#include <cmath>

#include "frame_history.h"
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

TEST_F(Ingestion, NothingWithoutACameraAndTheFirstTwoDeliveriesAreDropped) {
    p.s.LargeWidth = 0;
    deliver_at(1);
    EXPECT_EQ(p.v.count, 0);
    p.s.LargeWidth = 8;
    deliver_at(10);
    deliver_at(20);
    EXPECT_EQ(std::make_tuple(p.s.Depth, p.v.timeFrames, redraws), std::make_tuple(0, 0, 0));
    deliver_at(30);
    EXPECT_EQ(std::make_tuple(p.s.Depth, p.s.SFIndex, p.v.timeFrames, redraws, readouts.size()),
              std::make_tuple(1, 1, 1, 1, 0u));
    deliver_at(30);
    EXPECT_TRUE(std::isinf(readouts.at(0))) << "no time elapsed";
}

// Stored frame k (1-based) at T_k = 1000 + 30k + k * k, so the intervals all differ. The 61st
// frame overwrites slot 0.
TEST_F(Ingestion, ReadoutIsTheMeanRateOverUpToTwentyIntervalsAndTheRingWrapsAfterSixty) {
    deliver_at(0);
    deliver_at(0);
    auto T = [](int k) { return static_cast<uint32_t>(1000 + 30 * k + k * k); };
    for (int k = 1; k <= 61; ++k) {
        p.s.srcData[1] = static_cast<uint8_t>(k);
        deliver_at(T(k));
        ASSERT_EQ(std::make_tuple(p.s.Depth, p.s.SFIndex),
                  std::make_tuple(std::min(k, 60), k % 60));
    }
    EXPECT_DOUBLE_EQ(readouts[0], 1000.0 / (T(2) - T(1)));
    EXPECT_DOUBLE_EQ(readouts[19], 20 * 1000.0 / (T(21) - T(1)));
    EXPECT_DOUBLE_EQ(readouts[20], 20 * 1000.0 / (T(22) - T(2)));
    EXPECT_EQ(std::make_tuple(p.s.sourceFrames[0][1], p.s.sourceFrames[1][1]),
              std::make_tuple(61, 2));
}

// A size change empties the ring and the planes but keeps the readout's window; at half size
// the ring takes the top-left corner of the camera buffer.
TEST_F(Ingestion, SizeChangeEmptiesTheRingAndHalfSizeTakesTheTopLeftCorner) {
    for (int i = 0; i < 10; ++i) deliver_at(100 * i);
    std::fill(p.s.fBuffer, p.s.fBuffer + 4 * p.s.planeFloats, 3.0f);
    setup_size_params(p.s, kHalfSize, false);
    EXPECT_EQ(std::make_tuple(p.s.Depth, p.s.SFIndex), std::make_tuple(0, 0));
    EXPECT_TRUE(std::all_of(p.s.fBuffer, p.s.fBuffer + 4 * p.s.planeFloats,
                            [](float f) { return f == 0; }));
    // The camera's red of (x, y) is 32y + 4x + 1.
    for (int i = 0; i < 32 * 4; ++i) p.s.srcData[i] = static_cast<uint8_t>(i);
    deliver_at(1000);
    // 8 stored frames at 200, 300, ..., 900: the window still starts at the first, T = 200.
    EXPECT_DOUBLE_EQ(readouts.back(), 8 * 1000.0 / (1000 - 200));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(p.slot_pixel(0, x, y)[1], 32 * y + 4 * x + 1);
}

TEST(ViewInit, SeedsThePhasesAndMirrors) {
    PipelineState s;
    ViewState v;
    v.mirrorMode = false;
    v.timeFrames = v.frameTimeIndex = 5;
    init_view_state(s, v, 1733500000);
    srand48(1733500000);
    for (int oc : {s.Oc11, s.Oc12, s.Oc21, s.Oc22}) EXPECT_EQ(oc, lrand48() % 360);
    EXPECT_EQ(std::make_tuple(v.mirrorMode, v.timeFrames, v.frameTimeIndex),
              std::make_tuple(true, 0, 0));
}

}  // namespace
