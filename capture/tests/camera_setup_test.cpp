// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdio>

extern "C" {
#include <libavutil/error.h>
}

#include "QTMovie.h"
#include "av_camera.h"
#include "camera_test_support.h"
#include "frame_history.h"
#include "pipeline_state.h"
#include "seq_grabber.h"

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
    EXPECT_TRUE(alerts().empty());
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
    EXPECT_TRUE(alerts().empty());
}

TEST(CameraSetup, UnopenableSourceReportsOpenDefaultComponent) {
    ErrorSpy spy;
    PipelineState s;
    CaptureState c;
    c.cameraSource = "/nonexistent/clip.mp4";
    EXPECT_FALSE(setup_camera(s, c));
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0], "OpenDefaultComponent SeqGrabComponentType");
    EXPECT_EQ(s.LargeWidth, 0);
    EXPECT_EQ(s.grabber, nullptr);
}

// The camera size rule, by itself and through a real source of each size.
struct SizeCase {
    const char* name;
    int16_t w, h;  // the camera's native size
    int16_t largeW, largeH;
    int smallW, smallH, smallRowBytes;
};

void PrintTo(const SizeCase& k, std::ostream* os) {
    *os << k.name;
}

class CameraSetupSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(CameraSetupSize, ReducesTallerCamerasTo480Lines) {
    const SizeCase& k = GetParam();
    Rect16 native;
    native.bottom = k.h;
    native.right = k.w;
    const Rect16 r = camera_frame_rect(native);
    EXPECT_EQ(r, (Rect16{0, 0, k.largeH, k.largeW}));

    ErrorSpy spy;
    LiveCamera cam;
    ASSERT_TRUE(cam.start("lavfi:color=c=gray:rate=30:size=" + std::to_string(k.w) + "x" +
                          std::to_string(k.h)));
    EXPECT_EQ(cam.s.LargeWidth, k.largeW);
    EXPECT_EQ(cam.s.LargeHeight, k.largeH);
    EXPECT_EQ(cam.s.LargeSrcRowBytes, 4 * k.largeW);
    EXPECT_EQ(cam.s.smallBitmap.width, k.smallW);
    EXPECT_EQ(cam.s.smallBitmap.height, k.smallH);
    EXPECT_EQ(cam.s.srcRowBytes, k.smallRowBytes);
    EXPECT_EQ(cam.c.theGWorld->bounds, (Rect16{0, 0, k.largeH, k.largeW}));
    EXPECT_EQ(cam.c.theGWorld->rowBytes, 4 * k.largeW);
    ASSERT_TRUE(idle_until_delivery(cam.c, cam.view));
    EXPECT_TRUE(alerts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CameraSetupSize,
    ::testing::Values(SizeCase{"vga", 640, 480, 640, 480, 320, 240, 1280},
                      SizeCase{"hd720", 1280, 720, 853, 480, 426, 240, 1706},
                      SizeCase{"uxga", 1600, 1200, 640, 480, 320, 240, 1280},
                      SizeCase{"exactly480", 720, 480, 720, 480, 360, 240, 1440},
                      SizeCase{"small", 176, 144, 176, 144, 88, 72, 352}),
    [](const ::testing::TestParamInfo<SizeCase>& i) { return std::string(i.param.name); });

TEST(CameraSetup, SourceWithoutVideoReportsSGNewChannel) {
    ErrorSpy spy;
    PipelineState s;
    CaptureState c;
    c.cameraSource = "lavfi:sine=frequency=440";
    EXPECT_FALSE(setup_camera(s, c));
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0],
              "SGNewChannel " + std::to_string(narrow_status(AVERROR_STREAM_NOT_FOUND)));
    EXPECT_EQ(s.LargeWidth, 0);
}

TEST(CameraSetup, BrokenGraphAndNonVideoFilesCannotBeOpened) {
    TempDir dir;
    const std::string notes = dir.path("notes.txt");
    FILE* f = std::fopen(notes.c_str(), "w");
    std::fputs("not a video\n", f);
    std::fclose(f);
    for (const std::string& source :
         {std::string("lavfi:nosuchsource"), notes, std::string("/dev/video99")}) {
        ErrorSpy spy;
        PipelineState s;
        CaptureState c;
        c.cameraSource = source;
        EXPECT_FALSE(setup_camera(s, c));
        EXPECT_EQ(alerts(),
                  (std::vector<std::string>{"OpenDefaultComponent SeqGrabComponentType"}));
        EXPECT_FALSE(c.theSeqGrabber);
    }
}

TEST(CameraSetup, NoCameraOnThisMachineReportsOpenDefaultComponent) {
    if (list_cameras().size() > 1) GTEST_SKIP() << "a camera is attached";
    ErrorSpy spy;
    PipelineState s;
    CaptureState c;
    EXPECT_FALSE(setup_camera(s, c));
    EXPECT_EQ(alerts(), (std::vector<std::string>{"OpenDefaultComponent SeqGrabComponentType"}));
}

TEST(CameraSetup, CallsOutOfOrderAreReportedNotCrashed) {
    ErrorSpy spy;
    CaptureState c;
    EXPECT_FALSE(install_grab_complete(c, nullptr));
    EXPECT_FALSE(start_camera(c));
    camera_idle(c);
    close_camera(c);
    EXPECT_EQ(alerts(),
              (std::vector<std::string>{"SGSetChannelRefCon " + std::to_string(kNotInitializedErr),
                                        "SGStartPreview " + std::to_string(kNotInitializedErr)}));
}

TEST(CameraSetup, StatusesNarrowWithoutBecomingSuccess) {
    EXPECT_EQ(narrow_status(0), 0);
    EXPECT_EQ(narrow_status(-2), -2);       // AVERROR(ENOENT)
    EXPECT_NE(narrow_status(-0x10000), 0);  // low 16 bits all zero
    EXPECT_NE(narrow_status(AVERROR_STREAM_NOT_FOUND), 0);
}

TEST(CameraList, EndsWithTheDemoScene) {
    const std::string text = camera_list_text();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.substr(text.rfind("demo\t")),
              std::string("demo\t") + list_cameras().back().description + "\n");
}

TEST(CameraSource, EachFormOfTheOptionOpensWhatItNames) {
    struct Case {
        const char* source;
        const char* format;
        std::string url;
        bool device, file;
    };
    const Case cases[] = {
        {"demo", "lavfi", kDemoGraph, false, false},
        {"lavfi:testsrc2=size=1280x720:rate=30", "lavfi", "testsrc2=size=1280x720:rate=30", false,
         false},
        {"/dev/video1", "v4l2", "/dev/video1", true, false},
        {"v4l2:/dev/video2", "v4l2", "/dev/video2", true, false},
        {"avfoundation:0", "avfoundation", "0", true, false},
        {"dshow:video=Front Camera", "dshow", "video=Front Camera", true, false},
        {"clips/walk.mp4", "", "clips/walk.mp4", false, true},
        {"C:/clips/walk.mp4", "", "C:/clips/walk.mp4", false, true},
    };
    for (const Case& k : cases) {
        CameraSource src;
        std::string why;
        ASSERT_TRUE(resolve_camera_source(k.source, src, why)) << k.source;
        EXPECT_EQ(src.format, k.format) << k.source;
        EXPECT_EQ(src.url, k.url) << k.source;
        EXPECT_EQ(src.device, k.device) << k.source;
        EXPECT_EQ(src.file, k.file) << k.source;
    }
}
