// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "frame_history.h"
#include "grabber.h"
#include "testkit.h"

namespace {

// A failing call is reported with its status and ends the re-bounding.
TEST(ChangeCameraSize, FailingCallIsReportedWithItsStatusAndEndsIt) {
    const std::vector<std::string> order = {"stop", "bounds", "start"};
    for (auto [stop, bounds, start, calls, message] : {std::tuple{-9405, 0, 0, 1, "SGStop"},
                                                       {0, 12, 0, 2, "SGSetChannelBounds"},
                                                       {0, 0, -1, 3, "SGStartPreview"}}) {
        testkit::RecordingGrabber g;
        testkit::Pipeline p(640, 480, kHalfSize, &g);
        g.calls.clear();
        g.stopStatus = stop, g.boundsStatus = bounds, g.startStatus = start;
        testkit::ErrorSpy spy;
        change_camera_size(p.s, true);
        EXPECT_EQ(g.calls, std::vector<std::string>(order.begin(), order.begin() + calls));
        ASSERT_EQ(testkit::ErrorSpy::calls().size(), 1u);
        EXPECT_EQ(testkit::ErrorSpy::calls()[0].message, message);
        EXPECT_EQ(testkit::ErrorSpy::calls()[0].code, stop + bounds + start);
    }
}

struct SizeRuleCase {
    const char* name;
    int w, h, maxHeight, expectW, expectH;
};
void PrintTo(const SizeRuleCase& c, std::ostream* os) {
    *os << c.name;
}

class CameraSizeRule : public ::testing::TestWithParam<SizeRuleCase> {};

TEST_P(CameraSizeRule, CapsTheHeightAndKeepsTheProportions) {
    const SizeRuleCase c = GetParam();
    const Rect16 native{0, 0, static_cast<int16_t>(c.h), static_cast<int16_t>(c.w)};
    const Rect16 r = c.maxHeight == kMaxCameraHeight ? camera_frame_rect(native)
                                                     : camera_frame_rect(native, c.maxHeight);
    EXPECT_EQ(r, (Rect16{0, 0, static_cast<int16_t>(c.expectH), static_cast<int16_t>(c.expectW)}));
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, CameraSizeRule,
    ::testing::Values(SizeRuleCase{"Hd720At480", 1280, 720, 480, 853, 480},
                      SizeRuleCase{"Hd1080At720", 1920, 1080, 720, 1280, 720},
                      SizeRuleCase{"Hd720At1080", 1280, 720, 1080, 1280, 720},
                      SizeRuleCase{"Uhd2160AtOwn", 3840, 2160, kNativeMaxHeight, 3840, 2160},
                      SizeRuleCase{"Tall3072AtOwn", 4096, 3072, kNativeMaxHeight, 2880, 2160},
                      SizeRuleCase{"Odd1080At720", 1440, 1080, 720, 960, 720}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
