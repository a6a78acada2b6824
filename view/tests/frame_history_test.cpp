// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "error_msg.h"
#include "frame_history.h"
#include "render_pass.h"
#include "address_space_limit.h"
#include "testkit.h"

namespace {

TEST(WorkingSize, HalfOfA16To9CameraDropsTheRemainders) {
    testkit::Pipeline p(853, 480, kHalfSize);
    EXPECT_EQ(p.s.Width, 426);
    EXPECT_EQ(p.s.Height, 240);
    EXPECT_EQ(p.s.srcRowBytes, 1706);
    EXPECT_EQ(p.s.bitmap, &p.s.smallBitmap);
    setup_size_params(p.s, kFullSize, false);
    EXPECT_EQ(p.s.Width, 853);
    EXPECT_EQ(p.s.Height, 480);
    EXPECT_EQ(p.s.srcRowBytes, 3412);
    EXPECT_EQ(p.s.bitmap, &p.s.largeBitmap);
    setup_size_params(p.s, 7, false);  // any other code keeps the size
    EXPECT_EQ(p.s.Width, 853);
}

TEST(WorkingSize, PlanesHoldWholeQuadsOnSixteenByteBoundaries) {
    testkit::Pipeline p(853, 480, kHalfSize);
    EXPECT_EQ(p.s.planeWidth, 428);
    EXPECT_EQ(p.s.planeFloats, 3u * 428 * 240);
    for (const void* block : {static_cast<const void*>(p.s.fBuffer), static_cast<const void*>(p.s.fBuffer1),
                              static_cast<const void*>(p.s.fBuffer2), static_cast<const void*>(p.s.fBuffer3),
                              static_cast<const void*>(p.s.hnalalaaxc),
                              static_cast<const void*>(p.s.smallBitmap.data)})
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    EXPECT_EQ(p.s.smallBitmap.rowBytes % 16, 0);
    EXPECT_GE(p.s.smallBitmap.rowBytes, 4 * 426);
}

// Row y of all 60 slots lies side by side in one block.
TEST(WorkingSize, SlotsInterleaveRowByRowInOneBlock) {
    testkit::Pipeline p(640, 480, kHalfSize);
    EXPECT_EQ(p.s.ringRowBytes, 60u * 1280);
    for (int i = 1; i < kHistorySlots; ++i)
        ASSERT_EQ(p.s.sourceFrames[i], p.s.sourceFrames[0] + static_cast<size_t>(i) * 1280);
    EXPECT_EQ(slot_row(p.s, 59, 239) + 1280, p.s.sourceFrames[0] + 60 * 1280 * 240);
}

TEST(OutputBitmaps, LargeAndSmallFollowTheCameraSize) {
    testkit::Pipeline p(640, 480, kHalfSize);
    EXPECT_EQ(p.s.largeBitmap.width, 640);
    EXPECT_EQ(p.s.largeBitmap.rowBytes, 2560);
    EXPECT_EQ(p.s.smallBitmap.width, 320);
    EXPECT_EQ(p.s.smallBitmap.height, 240);
    EXPECT_EQ(p.s.smallBitmap.rowBytes, 1280);
    // Both are drawn at the camera size.
    EXPECT_EQ(p.s.smallBitmap.displayWidth, 640.0f);
    EXPECT_EQ(p.s.largeBitmap.displayHeight, 480.0f);
}

TEST(OutputBitmaps, ImageSizeChangesOnlyTheDrawnSize) {
    testkit::Pipeline p(640, 480, kHalfSize);
    p.deliver();
    p.deliver();
    set_image_size(p.s, 1920.0f, 1080.0f);
    EXPECT_EQ(p.s.smallBitmap.displayWidth, 1920.0f);
    EXPECT_EQ(p.s.largeBitmap.displayHeight, 1080.0f);
    EXPECT_EQ(p.s.Width, 320);
    EXPECT_EQ(p.s.Depth, 2);
}

TEST(CurrentTime, FirstCallFallsWithinTheFirstSecond) {
    const uint32_t first = current_time_ms();
    EXPECT_LT(first, 1000u);
    EXPECT_GE(current_time_ms(), first);
}

TEST(Reallocation, FreesThenAllocatesAlignedMemory) {
    void* a = reallocF(nullptr, 100);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    void* b = reallocF(a, 1000);
    ASSERT_NE(b, nullptr);
    std::free(b);
}

struct Terminated : std::runtime_error {
    Terminated() : std::runtime_error("terminated") {}
};

// An allocation that cannot be had is reported, then the process is ended.
TEST(Reallocation, FailureIsReportedThenTerminates) {
    testkit::ErrorSpy spy;
    set_terminate_handler([] { throw Terminated(); });
    PipelineState s;
    set_camera_geometry(s, 30000, 30000);  // float planes of 4 * 3 * 4 * 9e8 bytes
    EXPECT_THROW(setup_size_params(s, kFullSize, false), Terminated);
    set_terminate_handler(nullptr);
    ASSERT_EQ(testkit::ErrorSpy::calls().size(), 1u);
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].message, "memory allocation for fBuffer");
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].code, 0);
    release_pipeline(s);
}

using testkit::AddressSpaceLimit;

// Full size of a 1200 x 600 camera needs some 200 MB; with 100 MB to spare the switch to it
// shows the alert with its cause, and the passes go on at half size without asking again.
TEST(Reallocation, SizeThatCannotBeHadKeepsTheOldSizeAndTheProcess) {
    testkit::ErrorSpy spy;
    set_terminate_handler([] { throw Terminated(); });
    testkit::Pipeline p(1200, 600, kHalfSize);
    p.v.currentSize = kHalfSize;
    p.fill_camera(255, 10, 20, 30);
    for (int i = 0; i < 4; ++i) p.deliver();
    Controls full;
    full.sizeSwitchState = 1;
    {
        const AddressSpaceLimit limit(100u << 20);
        EXPECT_NO_THROW(render_pass(p.s, p.v, full, RenderHooks{}));
    }
    set_terminate_handler(nullptr);
    ASSERT_EQ(testkit::ErrorSpy::calls().size(), 1u);
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].message, "memory allocation for sourceFrames[0 ..]");
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].cause,
              "There is not enough free memory for pictures of this size. (1200 x 600, 165 MB)");
    EXPECT_EQ(p.s.Width, 600);
    EXPECT_EQ(p.s.Height, 300);
    EXPECT_EQ(p.s.bitmap, &p.s.smallBitmap);
    ASSERT_NE(p.s.sourceFrames[59], nullptr);
    ASSERT_NE(p.s.fBuffer3, nullptr);
    for (int i = 0; i < 2; ++i) p.deliver();
    EXPECT_TRUE(render_pass(p.s, p.v, full, RenderHooks{}));
    EXPECT_EQ(testkit::ErrorSpy::calls().size(), 1u);
    EXPECT_EQ(p.s.Width, 600);
}

}  // namespace
