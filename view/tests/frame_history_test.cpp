// SPDX-License-Identifier: MIT
#include "frame_history.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "address_space_limit.h"
#include "error_msg.h"
#include "render_pass.h"
#include "testkit.h"

namespace {

// Half size of a 853 x 481 camera drops the remainders; the planes hold whole quads on 16-byte
// boundaries, row y of all 60 slots lies side by side in one block, and both bitmaps are drawn
// at the size the image is given, which changes nothing else.
TEST(WorkingSize, HalfSizeDropsTheRemaindersAndLaysOutRingPlanesAndBitmaps) {
    testkit::Pipeline p(853, 481, kHalfSize);
    const PipelineState& s = p.s;
    EXPECT_EQ(std::make_tuple(s.Width, s.Height, s.srcRowBytes, s.planeWidth),
              std::make_tuple(426, 240, 1706, 428));
    EXPECT_EQ(s.planeFloats, 3u * 428 * 240);
    EXPECT_EQ(s.bitmap, &s.smallBitmap);
    for (const float* block : {s.fBuffer, s.fBuffer1, s.fBuffer2, s.fBuffer3, s.hnalalaaxc})
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s.smallBitmap.data) % 16 + s.smallBitmap.rowBytes % 16,
              0u);
    EXPECT_EQ(s.ringRowBytes, 60u * 1706);
    for (int i = 1; i < kHistorySlots; ++i)
        ASSERT_EQ(s.sourceFrames[i], s.sourceFrames[0] + i * 1706);
    EXPECT_EQ(std::make_tuple(s.largeBitmap.width, s.largeBitmap.height, s.smallBitmap.width,
                              s.smallBitmap.height),
              std::make_tuple(853, 481, 426, 240));
    p.deliver();
    set_image_size(p.s, 1920.0f, 1080.0f);
    EXPECT_EQ(std::make_tuple(s.smallBitmap.displayWidth, s.largeBitmap.displayHeight),
              std::make_tuple(1920.0f, 1080.0f));
    EXPECT_EQ(std::make_tuple(s.Width, s.Depth), std::make_tuple(426, 1));
    setup_size_params(p.s, kFullSize, false);
    EXPECT_EQ(std::make_tuple(s.Width, s.Height, s.srcRowBytes, s.Depth),
              std::make_tuple(853, 481, 3412, 0));
    EXPECT_EQ(s.bitmap, &s.largeBitmap);
    setup_size_params(p.s, 7, false);  // any other code keeps the size
    EXPECT_EQ(s.Width, 853);
}

// Full size of a 1200 x 600 camera needs some 200 MB; with 100 MB to spare the switch to it
// shows the alert with its cause, and the passes go on at half size without asking again. Where
// there is no smaller size to fall back on, the alert is followed by the end of the process.
TEST(Reallocation, SizeThatCannotBeHadKeepsTheOldSizeOrEndsTheProcess) {
    testkit::ErrorSpy spy;
    set_terminate_handler([] { throw std::runtime_error("terminated"); });
    testkit::Pipeline p(1200, 600, kHalfSize);
    for (int i = 0; i < 4; ++i) p.deliver();
    Controls full;
    full.sizeSwitchState = 1;
    {
        const testkit::AddressSpaceLimit limit(100u << 20);
        EXPECT_NO_THROW(render_pass(p.s, p.v, full, RenderHooks{}));
    }
    ASSERT_EQ(testkit::ErrorSpy::calls().size(), 1u);
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].message, "memory allocation for sourceFrames[0 ..]");
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].cause,
              "There is not enough free memory for pictures of this size. (1200 x 600, 165 MB)");
    EXPECT_EQ(std::make_tuple(p.s.Width, p.s.Height), std::make_tuple(600, 300));
    EXPECT_EQ(p.s.bitmap, &p.s.smallBitmap);
    ASSERT_TRUE(p.s.sourceFrames[59] && p.s.fBuffer3);
    for (int i = 0; i < 2; ++i) p.deliver();
    EXPECT_TRUE(render_pass(p.s, p.v, full, RenderHooks{}));
    EXPECT_EQ(testkit::ErrorSpy::calls().size(), 1u);
    EXPECT_EQ(p.s.Width, 600);
    PipelineState huge;
    set_camera_geometry(huge, 30000, 30000);  // float planes of 4 * 3 * 4 * 9e8 bytes
    EXPECT_THROW(setup_size_params(huge, kFullSize, false), std::runtime_error);
    set_terminate_handler(nullptr);
    EXPECT_EQ(testkit::ErrorSpy::calls().at(1).message, "memory allocation for fBuffer");
    release_pipeline(huge);
}

}  // namespace
