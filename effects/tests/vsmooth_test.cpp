// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>

#include "effects.h"
#include "testkit.h"

namespace {

// A 4 x 1 ring whose slot k holds red = base + k, green = 2k, blue = 255 - k in every pixel.
class VsmoothTest : public ::testing::Test {
protected:
    VsmoothTest() : p(4, 1) {
        for (int k = 0; k < kHistorySlots; ++k)
            set_slot(k, static_cast<uint8_t>(k), static_cast<uint8_t>(2 * k),
                     static_cast<uint8_t>(255 - k));
        std::memset(p.s.bitmap->data, 0x77, p.s.bitmap->rowBytes);
    }
    void set_slot(int k, uint8_t r, uint8_t g, uint8_t b) {
        for (int x = 0; x < 4; ++x) {
            uint8_t* px = p.s.sourceFrames[k] + 4 * x;
            px[0] = 0x99;
            px[1] = r;
            px[2] = g;
            px[3] = b;
        }
    }
    // Runs both the vector sampler and the scalar one on the same arguments; returns output bytes.
    std::vector<uint8_t> run(const int32_t near[4], const float w[4]) {
        std::vector<uint8_t> vec(16, 0x77), sca(16, 0x77);
        vsmooth(p.s, vec.data(), near, w, 1);
        for (int k = 0; k < 4; ++k)
            ref::vsmooth_pixel(p.s, sca.data() + 4 * k, near[k], w[k], 1 + 4 * k);
        EXPECT_EQ(vec, sca);
        return vec;
    }
    testkit::Pipeline p;
};

TEST_F(VsmoothTest, ZeroWeightGivesTheNearFrameExactly) {
    p.s.Depth = 60;
    const int32_t near[4] = {5, 6, 7, 59};
    const float w[4] = {0, 0, 0, 0};
    const std::vector<uint8_t> out = run(near, w);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(out[4 * k], near[k]);
        EXPECT_EQ(out[4 * k + 1], 2 * near[k]);
        EXPECT_EQ(out[4 * k + 2], 255 - near[k]);
        EXPECT_EQ(out[4 * k + 3], 0x77) << "byte 3 must keep what it held";
    }
}

TEST_F(VsmoothTest, HalfWeightRoundsTiesToEven) {
    p.s.Depth = 60;
    set_slot(20, 10, 11, 0);  // near
    set_slot(19, 11, 12, 1);  // older: 10.5 -> 10, 11.5 -> 12, 0.5 -> 0
    const int32_t near[4] = {20, 20, 20, 20};
    const float w[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    const std::vector<uint8_t> out = run(near, w);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 12);
    EXPECT_EQ(out[2], 0);
}

TEST_F(VsmoothTest, OlderFrameWrapsWithinTheSlotsInUse) {
    // Full ring: slot 0 takes its older sample from slot 59. Filling ring of 7: slot 3 from 2,
    // slot 0 from 6. With weight 0.75 the older frame dominates.
    p.s.Depth = 60;
    const int32_t near60[4] = {0, 0, 0, 0};
    const float w[4] = {0.75f, 0.75f, 0.75f, 0.75f};
    // red = 0.25 * 0 + 0.75 * 59 = 44.25 -> 44
    EXPECT_EQ(run(near60, w)[0], 44);
    p.s.Depth = 7;
    const int32_t near7[4] = {3, 0, 3, 0};
    const std::vector<uint8_t> out = run(near7, w);
    EXPECT_EQ(out[0], 2);  // 0.25 * 3 + 0.75 * 2 = 2.25
    EXPECT_EQ(out[4], 4);  // 0.25 * 0 + 0.75 * 6 = 4.5 -> 4
}

TEST_F(VsmoothTest, EachPixelIsBlendedIndependently) {
    p.s.Depth = 60;
    const int32_t near[4] = {10, 30, 1, 59};
    const float w[4] = {0.0f, 0.25f, 0.5f, 0.9f};
    const std::vector<uint8_t> out = run(near, w);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[4], 30);   // 0.75 * 30 + 0.25 * 29 = 29.75 -> 30
    EXPECT_EQ(out[8], 0);    // 0.5 * 1 + 0.5 * 0 = 0.5 -> 0
    EXPECT_EQ(out[12], 58);  // 0.1 * 59 + 0.9 * 58 = 58.1 -> 58
}

}  // namespace
