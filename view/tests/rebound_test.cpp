// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "grabber.h"
#include "frame_history.h"
#include "testkit.h"

namespace {

TEST(ChangeCameraSize, WithoutRestartOnlySetsTheBounds) {
    testkit::RecordingGrabber g;
    testkit::Pipeline p(640, 480, kHalfSize, &g);
    EXPECT_EQ(g.calls, std::vector<std::string>{"bounds"});
    EXPECT_EQ(g.lastBounds, (Rect16{0, 0, 240, 320}));
}

TEST(ChangeCameraSize, WithRestartStopsSetsBoundsAndStartsInThatOrder) {
    testkit::RecordingGrabber g;
    testkit::Pipeline p(640, 480, kHalfSize, &g);
    g.calls.clear();
    testkit::ErrorSpy spy;
    setup_size_params(p.s, kFullSize, true);
    EXPECT_EQ(g.calls, (std::vector<std::string>{"stop", "bounds", "start"}));
    EXPECT_EQ(g.lastBounds, (Rect16{0, 0, 480, 640}));
    EXPECT_TRUE(testkit::ErrorSpy::calls().empty());
}

TEST(ChangeCameraSize, FailingStopIsReportedAndSkipsTheRest) {
    testkit::RecordingGrabber g;
    testkit::Pipeline p(640, 480, kHalfSize, &g);
    g.calls.clear();
    g.stopStatus = -9405;
    testkit::ErrorSpy spy;
    change_camera_size(p.s, true);
    EXPECT_EQ(g.calls, std::vector<std::string>{"stop"});
    ASSERT_EQ(testkit::ErrorSpy::calls().size(), 1u);
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].message, "SGStop");
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].code, -9405);
}

TEST(ChangeCameraSize, FailingBoundsOrStartAreReportedWithTheirCodes) {
    testkit::RecordingGrabber g;
    testkit::Pipeline p(640, 480, kHalfSize, &g);
    testkit::ErrorSpy spy;
    g.calls.clear();
    g.boundsStatus = 12;
    change_camera_size(p.s, true);
    EXPECT_EQ(g.calls, (std::vector<std::string>{"stop", "bounds"}));
    g.calls.clear();
    g.boundsStatus = 0;
    g.startStatus = -1;
    change_camera_size(p.s, true);
    EXPECT_EQ(g.calls, (std::vector<std::string>{"stop", "bounds", "start"}));
    ASSERT_EQ(testkit::ErrorSpy::calls().size(), 2u);
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].message, "SGSetChannelBounds");
    EXPECT_EQ(testkit::ErrorSpy::calls()[0].code, 12);
    EXPECT_EQ(testkit::ErrorSpy::calls()[1].message, "SGStartPreview");
    EXPECT_EQ(testkit::ErrorSpy::calls()[1].code, -1);
}

struct SizeRuleCase {
    const char* name;
    int w, h, maxHeight, expectW, expectH;
};
void PrintTo(const SizeRuleCase& c, std::ostream* os) { *os << c.name; }

class CameraSizeRule : public ::testing::TestWithParam<SizeRuleCase> {};

TEST_P(CameraSizeRule, CapsTheHeightAndKeepsTheProportions) {
    const SizeRuleCase c = GetParam();
    Rect16 native{0, 0, static_cast<int16_t>(c.h), static_cast<int16_t>(c.w)};
    const Rect16 r = c.maxHeight == kMaxCameraHeight ? camera_frame_rect(native)
                                                     : camera_frame_rect(native, c.maxHeight);
    EXPECT_EQ(r.right - r.left, c.expectW);
    EXPECT_EQ(r.bottom - r.top, c.expectH);
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, CameraSizeRule,
    ::testing::Values(SizeRuleCase{"Vga", 640, 480, 480, 640, 480},
                      SizeRuleCase{"Hd720At480", 1280, 720, 480, 853, 480},
                      SizeRuleCase{"Uxga", 1600, 1200, 480, 640, 480},
                      SizeRuleCase{"Ntsc", 720, 480, 480, 720, 480},
                      SizeRuleCase{"Qvga", 320, 240, 480, 320, 240},
                      SizeRuleCase{"Hd1080At480", 1920, 1080, 480, 853, 480},
                      SizeRuleCase{"Hd1080At720", 1920, 1080, 720, 1280, 720},
                      SizeRuleCase{"Hd1080At1080", 1920, 1080, 1080, 1920, 1080},
                      SizeRuleCase{"Hd720At1080", 1280, 720, 1080, 1280, 720},
                      SizeRuleCase{"Uhd2160AtOwn", 3840, 2160, kNativeMaxHeight, 3840, 2160},
                      SizeRuleCase{"Uhd2160At1080", 3840, 2160, 1080, 1920, 1080},
                      SizeRuleCase{"Tall3072AtOwn", 4096, 3072, kNativeMaxHeight, 2880, 2160},
                      SizeRuleCase{"Odd1080At720", 1440, 1080, 720, 960, 720}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
