// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "QTMovie.h"
#include "camera_test_support.h"
#include "frame_history.h"
#include "pipeline_state.h"
#include "seq_grabber.h"

namespace {

// The start-up order of the live program: set-up, bitmaps, half size, callback, preview.
struct LiveCamera {
    PipelineState s;
    CaptureState c;
    CountingReceiver view{s};

    bool start(const std::string& source) {
        c.cameraSource = source;
        if (!setup_camera(s, c)) return false;
        if (!create_output_bitmaps(s)) return false;
        setup_size_params(s, kHalfSize, false);
        return install_grab_complete(c, &view) && start_camera(c);
    }
    ~LiveCamera() {
        close_camera(c);
        release_pipeline(s);
    }
};

}  // namespace

TEST(CameraSetup, DemoSceneIs640x480AndDelivers) {
    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start("demo"));
    EXPECT_EQ(cam.s.LargeWidth, 640);
    EXPECT_EQ(cam.s.LargeHeight, 480);
    EXPECT_EQ(cam.s.LargeSrcRowBytes, 2560);
    EXPECT_EQ(cam.s.Width, 320);
    EXPECT_EQ(cam.s.Height, 240);
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
    EXPECT_TRUE(spy.texts().empty());
}

TEST(CameraSetup, LavfiSourceTallerThan480IsReduced) {
    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:testsrc2=size=1280x720:rate=30"));
    EXPECT_EQ(cam.s.LargeWidth, 853);
    EXPECT_EQ(cam.s.LargeHeight, 480);
    EXPECT_EQ(cam.s.LargeSrcRowBytes, 3412);
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
    EXPECT_TRUE(spy.texts().empty());
}

TEST(CameraSetup, UnopenableSourceReportsOpenDefaultComponent) {
    ErrorSpy spy;
    PipelineState s;
    CaptureState c;
    c.cameraSource = "/nonexistent/clip.mp4";
    EXPECT_FALSE(setup_camera(s, c));
    ASSERT_EQ(spy.texts().size(), 1u);
    EXPECT_EQ(spy.texts()[0], "OpenDefaultComponent SeqGrabComponentType");
    EXPECT_EQ(s.LargeWidth, 0);
    EXPECT_EQ(s.grabber, nullptr);
}
