// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "render_pass.h"
#include "testkit.h"

namespace {

class RenderPass : public ::testing::Test {
protected:
    RenderPass() : p(16, 4, kFullSize, &grabber) {
        hooks.draw = [this](const OutputBitmap& bm) {
            ++draws;
            drawn.assign(bm.data, bm.data + static_cast<size_t>(bm.rowBytes) * bm.height);
        };
        hooks.RecordingOn = &recordingOn;
        hooks.add_media_samples = [this](const uint8_t* data, int rowBytes) {
            recorded.emplace_back(data, data + static_cast<size_t>(rowBytes) * p.s.Height);
            return true;
        };
        p.v.currentSize = kFullSize;
        controls.sizeSwitchState = 1;
        grabber.calls.clear();
    }
    // A camera frame whose pixel x of row y is (a, r, g, b) = (200 + x, x, 10 * y, 99).
    void deliver_pattern() {
        for (int y = 0; y < p.s.LargeHeight; ++y)
            for (int x = 0; x < p.s.LargeWidth; ++x) {
                uint8_t* px = p.s.srcData + y * p.s.LargeSrcRowBytes + 4 * x;
                px[0] = static_cast<uint8_t>(200 + x), px[1] = static_cast<uint8_t>(x);
                px[2] = static_cast<uint8_t>(10 * y), px[3] = 99;
            }
        p.deliver();
    }
    bool pass() { return render_pass(p.s, p.v, controls, hooks); }

    testkit::RecordingGrabber grabber;
    testkit::Pipeline p;
    Controls controls;
    RenderHooks hooks;
    uint8_t recordingOn = 0;
    int draws = 0;
    std::vector<uint8_t> drawn;
    std::vector<std::vector<uint8_t>> recorded;
};

TEST_F(RenderPass, FewerThanTwoFramesDrawNothingRecordNothingResizeNothing) {
    controls.sizeSwitchState = 0;  // asks for half size
    EXPECT_FALSE(pass());
    deliver_pattern();
    recordingOn = 1;
    EXPECT_FALSE(pass());
    recordingOn = 0;
    EXPECT_FALSE(pass());
    EXPECT_EQ(draws, 0);
    EXPECT_TRUE(recorded.empty());
    EXPECT_EQ(p.v.currentSize, kFullSize);
    EXPECT_TRUE(grabber.calls.empty());
    deliver_pattern();
    EXPECT_TRUE(pass());
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(p.v.currentSize, kHalfSize);
}

TEST_F(RenderPass, PlainPictureShowsTheNewestFrameWithTheNextPixelsAlphaInByteThree) {
    controls.effectEnabled = false;
    controls.selectedRow = 1, controls.selectedColumn = 2;  // ignored while disabled
    p.v.mirrorMode = false;
    std::memset(p.s.bitmap->data, 0xCC, static_cast<size_t>(p.s.bitmap->rowBytes) * p.s.Height);
    deliver_pattern();
    deliver_pattern();
    ASSERT_TRUE(pass());
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(p.out(x, y, 0), x);
            EXPECT_EQ(p.out(x, y, 1), 10 * y);
            EXPECT_EQ(p.out(x, y, 2), 99);
            if (x < 15) {
                EXPECT_EQ(p.out(x, y, 3), 200 + x + 1);
            }
        }
        EXPECT_EQ(p.out(15, y, 3), 0xCC) << "the last byte of the row is not written";
    }
}

TEST_F(RenderPass, MirroredPictureIsReversedAndHandedToTheRecording) {
    controls.effectEnabled = false;
    deliver_pattern();
    deliver_pattern();
    recordingOn = 1;
    controls.sizeSwitchState = 0;  // stays pending while recording
    ASSERT_TRUE(pass());
    for (int x = 0; x < 16; ++x) EXPECT_EQ(p.out(x, 2, 0), 15 - x);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0][4 * 0], 15);
    EXPECT_EQ(recorded[0], drawn) << "the recording gets the picture as drawn";
    EXPECT_EQ(p.v.currentSize, kFullSize);
    EXPECT_TRUE(grabber.calls.empty());
    ASSERT_TRUE(pass());
    EXPECT_EQ(recorded.size(), 2u);
    EXPECT_EQ(p.v.currentSize, kFullSize);
    // The first pass after the recording applies the size change and re-bounds the camera.
    recordingOn = 0;
    ASSERT_TRUE(pass());
    EXPECT_EQ(p.v.currentSize, kHalfSize);
    EXPECT_EQ(p.s.Width, 8);
    EXPECT_EQ(p.s.Depth, 0);
    EXPECT_EQ(grabber.calls, (std::vector<std::string>{"stop", "bounds", "start"}));
    EXPECT_EQ(grabber.lastBounds, (Rect16{0, 0, 2, 8}));
    EXPECT_FALSE(pass()) << "the emptied ring draws nothing until two frames arrive";
}

// Each cell runs its own effect; index 5, anything above it, and no selection run motion paint.
TEST_F(RenderPass, ModeIndexSelectsTheEffectAndEverythingElseIsMotionPaint) {
    struct Sel {
        int row, column;
        EffectStep expected;
    };
    const Sel cases[] = {{0, 0, wave_time_warp_step}, {0, 1, exposure_step},    {0, 2, motion_trace_step},
                         {1, 0, motion_delay_step},   {1, 1, time_scatter_step}, {1, 2, motion_paint_step},
                         {2, 0, motion_paint_step},   {-1, -1, motion_paint_step}, {-1, 0, motion_paint_step}};
    for (const Sel& sel : cases) {
        testkit::Pipeline a(16, 4), b(16, 4);
        std::mt19937 rng(sel.row * 10 + sel.column + 20);
        a.random_ring(rng, 60);
        a.random_planes(rng);
        b.copy_from(a);
        a.v.mirrorMode = false;
        Controls c;
        c.selectedRow = sel.row, c.selectedColumn = sel.column, c.sizeSwitchState = 1;
        a.v.currentSize = kFullSize;
        wobble_srand48(5);
        ASSERT_TRUE(render_pass(a.s, a.v, c, RenderHooks{}));
        wobble_srand48(5);
        b.begin_pass();
        sel.expected(b.s);
        EXPECT_EQ(a.output_bytes(), b.output_bytes()) << "row " << sel.row << " column " << sel.column;
    }
    EXPECT_EQ(effect_for_mode(-3), 5);
    EXPECT_EQ(effect_for_mode(4), 4);
}

// Mirroring only flips the finished picture: the effect's own pictures go on as before.
TEST_F(RenderPass, TogglingTheMirrorDoesNotDisturbTheEffect) {
    testkit::Pipeline flipped(16, 4);
    controls.selectedRow = 1, controls.selectedColumn = 0;  // motion-driven delay
    std::mt19937 rng(4);
    for (int n = 0; n < 12; ++n) {
        p.random_camera(rng);
        std::memcpy(flipped.s.srcData, p.s.srcData, static_cast<size_t>(p.s.LargeSrcRowBytes) * 4);
        p.deliver();
        flipped.deliver();
        p.v.mirrorMode = false;
        flipped.v.mirrorMode = n % 3 != 0;
        flipped.v.currentSize = kFullSize;
        const bool drew = pass();
        ASSERT_EQ(drew, render_pass(flipped.s, flipped.v, controls, RenderHooks{}));
        if (!drew) continue;
        if (flipped.v.mirrorMode) mirror_rows(flipped.s.bitmap->data, flipped.s.bitmap->rowBytes, 16, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 16; ++x)
                for (int c = 0; c < 3; ++c) ASSERT_EQ(p.out(x, y, c), flipped.out(x, y, c)) << "pass " << n;
    }
}

// Rows of n pixels whose pixel x is the word 0x01000000 * x + 0x00ABCDEF.
std::vector<uint32_t> row_of(int n, int rows, int stride) {
    std::vector<uint32_t> px(static_cast<size_t>(stride) * rows, 0xDEADBEEF);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < n; ++x) px[y * stride + x] = 0x01000000u * x + 0x00ABCDEFu + y;
    return px;
}

class Mirror : public ::testing::TestWithParam<int> {};

TEST_P(Mirror, ReversesWholePixelsAndTwiceRestores) {
    const int n = GetParam(), stride = (n + 3) / 4 * 4 + 4;
    for (auto mirror : {&mirror_rows, &ref::mirror_rows}) {
        std::vector<uint32_t> px = row_of(n, 3, stride);
        const std::vector<uint32_t> original = px;
        mirror(reinterpret_cast<uint8_t*>(px.data()), 4 * stride, n, 3);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < n; ++x) ASSERT_EQ(px[y * stride + x], original[y * stride + n - 1 - x]) << "n " << n;
            for (int x = n; x < stride; ++x) ASSERT_EQ(px[y * stride + x], 0xDEADBEEF) << "past the row";
        }
        mirror(reinterpret_cast<uint8_t*>(px.data()), 4 * stride, n, 3);
        EXPECT_EQ(px, original);
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, Mirror, ::testing::Values(1, 3, 4, 5, 8, 12, 20, 22, 426, 640, 853));

}  // namespace
