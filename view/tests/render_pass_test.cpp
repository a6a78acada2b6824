// SPDX-License-Identifier: MIT
#include "render_pass.h"

#include <gtest/gtest.h>

#include <cstring>

#include "testkit.h"

namespace {

class RenderPass : public ::testing::Test {
protected:
    RenderPass() : p(16, 4, kFullSize, &grabber) {
        hooks.draw = [this](const OutputBitmap& bm) {
            drawn.assign(bm.data, bm.data + bm.rowBytes * bm.height);
        };
        hooks.RecordingOn = &recordingOn;
        hooks.add_media_samples = [this](const uint8_t* data, int rowBytes) {
            recorded.emplace_back(data, data + rowBytes * p.s.Height);
            return true;
        };
        controls.effectEnabled = false;  // the switch asks for half size
        grabber.calls.clear();
    }
    // A camera frame whose pixel x of row y is the bytes 64y + 4x to 64y + 4x + 3: A, R, G, B.
    void deliver_pattern() {
        for (int i = 0; i < 16 * 4 * 4; ++i) p.s.srcData[i] = static_cast<uint8_t>(i);
        p.deliver();
    }
    bool pass() { return render_pass(p.s, p.v, controls, hooks); }

    testkit::RecordingGrabber grabber;
    testkit::Pipeline p;
    Controls controls;
    RenderHooks hooks;
    uint8_t recordingOn = 0;
    std::vector<uint8_t> drawn;
    std::vector<std::vector<uint8_t>> recorded;
};

// With fewer than two frames a pass draws, records and resizes nothing. The plain picture is the
// newest frame one byte on (the next pixel's alpha in byte 3), mirrored, drawn and recorded as it
// is; a size change waits until the recording ends, then empties the ring and re-bounds the camera
// to the new working size.
TEST_F(RenderPass, MirroredPictureIsDrawnAndRecordedAndTheSizeChangeWaitsForTheRecording) {
    EXPECT_FALSE(pass());
    deliver_pattern();
    EXPECT_FALSE(pass());
    recordingOn = 1;
    EXPECT_FALSE(pass());
    EXPECT_TRUE(drawn.empty() && recorded.empty() && grabber.calls.empty());
    EXPECT_EQ(p.v.currentSize, kFullSize);
    deliver_pattern();
    ASSERT_TRUE(pass());
    for (int x = 0, from = 128 + 4 * 15; x < 16; ++x, from -= 4)  // from camera pixel 15 - x
        EXPECT_EQ(std::make_tuple(p.out(x, 2, 0), p.out(x, 2, 1), p.out(x, 2, 2),
                                  x ? p.out(x, 2, 3) : from + 4),
                  std::make_tuple(from + 1, from + 2, from + 3, from + 4));
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0], drawn) << "the recording gets the picture as drawn";
    ASSERT_TRUE(pass());
    EXPECT_EQ(std::make_tuple(recorded.size(), p.v.currentSize, grabber.calls.size()),
              std::make_tuple(2u, kFullSize, 0u));
    recordingOn = 0;
    ASSERT_TRUE(pass());
    EXPECT_EQ(std::make_tuple(p.v.currentSize, p.s.Width, p.s.Depth),
              std::make_tuple(kHalfSize, 8, 0));
    EXPECT_EQ(grabber.calls, (std::vector<std::string>{"stop", "bounds", "start"}));
    EXPECT_EQ(grabber.lastBounds, (Rect16{0, 0, 2, 8}));
    EXPECT_FALSE(pass()) << "the emptied ring draws nothing until two frames arrive";
}

// Each cell runs its own effect (the table in equivalence_test.cpp shows each one's bytes); index
// 5, anything above it, and no selection run motion paint.
TEST(RenderPassMode, IndexSelectsTheEffectAndEverythingElseIsMotionPaint) {
    for (auto [row, column, effect] : {std::tuple{0, 0, 0},
                                       {0, 2, 2},
                                       {1, 1, 4},
                                       {1, 2, 5},
                                       {2, 0, 5},
                                       {-1, -1, 5},
                                       {-1, 0, 5}}) {
        Controls c;
        c.selectedRow = row, c.selectedColumn = column;
        EXPECT_EQ(effect_for_mode(mode_index(c)), effect) << row << "," << column;
    }
}

}  // namespace
