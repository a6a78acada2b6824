// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "effects.h"
#include "testkit.h"

namespace {

// Slot k holds red = k, green = 255 - k, blue = 3 in every pixel.
void label_slots(testkit::Pipeline& p) {
    for (int k = 0; k < kHistorySlots; ++k)
        for (int y = 0; y < p.s.Height; ++y)
            for (int x = 0; x < p.s.Width; ++x) {
                uint8_t* px = p.slot_pixel(k, x, y);
                px[1] = static_cast<uint8_t>(k), px[2] = static_cast<uint8_t>(255 - k), px[3] = 3;
            }
}

TEST(Rand48, MatchesTheCLibrarysSequence) {
    for (long seed : {0L, 1L, 1733500000L, -5L, 4294967295L}) {
        wobble_srand48(seed);
        srand48(seed);
        for (int i = 0; i < 1000; ++i) ASSERT_EQ(wobble_lrand48(), lrand48()) << "seed " << seed;
    }
}

class TimeScatter : public ::testing::TestWithParam<EffectStep> {};

// Every pixel comes from slot r mod Depth, one draw serving five pixels shifted right by 0, 6,
// 12, 18 and 24 bits, every row starting with a fresh draw. Checked against the C library's own
// generator.
TEST_P(TimeScatter, PicksSlotsFromOneDrawPerFivePixelsAndAFreshDrawPerRow) {
    for (int depth : {2, 7, 60}) {
        testkit::Pipeline p(13, 3);
        label_slots(p);
        p.s.Depth = depth;
        p.s.SFIndex = depth % 60;
        wobble_srand48(424242);
        p.begin_pass();
        GetParam()(p.s);
        srand48(424242);
        for (int y = 0; y < 3; ++y) {
            long r = 0;
            for (int x = 0; x < 13; ++x) {
                r = x % 5 == 0 ? lrand48() : r >> 6;
                if (x % 5 == 4) {
                    ASSERT_LT(r, 128);
                }
                const int slot = static_cast<int>(r % depth);
                ASSERT_EQ(p.out(x, y, 0), slot) << "x " << x << " y " << y << " depth " << depth;
                ASSERT_EQ(p.out(x, y, 1), 255 - slot);
                ASSERT_EQ(p.out(x, y, 2), 3);
            }
        }
    }
}

TEST_P(TimeScatter, UsesEverySlotOfAFullRingAndNeedsNoPlanes) {
    testkit::Pipeline p(64, 48);
    label_slots(p);
    p.s.Depth = 60;
    std::free(p.s.fBuffer);
    p.s.fBuffer = nullptr;
    wobble_srand48(1);
    p.begin_pass();
    GetParam()(p.s);
    std::vector<int> seen(60);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) seen.at(p.out(x, y, 0))++;
    for (int k = 0; k < 60; ++k) EXPECT_GT(seen[k], 0) << "slot " << k;
}

INSTANTIATE_TEST_SUITE_P(VectorAndScalar, TimeScatter,
                         ::testing::Values(&time_scatter_step, &ref::time_scatter_step),
                         [](const auto& info) {
                             return std::string(info.index ? "Scalar" : "Vector");
                         });

}  // namespace
