// SPDX-License-Identifier: MIT
// Re-bounding through the Grabber interface: a recording grabber stands in for a camera device,
// so the order of the calls and their failures can be chosen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QTMovie.h"
#include "camera_test_support.h"
#include "pipeline_state.h"

namespace {

struct Rebound : ::testing::Test {
    void SetUp() override {
        s.Width = 320;
        s.Height = 240;
        s.grabber = &g;
    }
    ErrorSpy spy;
    PipelineState s;
    testkit::RecordingGrabber g;
};

using Calls = std::vector<std::string>;
constexpr int16_t kStopStatus = -9405;

}  // namespace

TEST_F(Rebound, WithoutRestartOnlyTheBoundsChange) {
    change_camera_size(s, false);
    EXPECT_EQ(g.calls, Calls{"bounds"});
    EXPECT_EQ(g.lastBounds, (Rect16{0, 0, 240, 320}));
    EXPECT_TRUE(alerts().empty());
}

TEST_F(Rebound, WithRestartStopSetBoundsStartInThatOrder) {
    s.Width = 853;
    s.Height = 480;
    change_camera_size(s, true);
    EXPECT_EQ(g.calls, (Calls{"stop", "bounds", "start"}));
    EXPECT_EQ(g.lastBounds, (Rect16{0, 0, 480, 853}));
    EXPECT_TRUE(alerts().empty());
}

TEST_F(Rebound, FailingStopIsReportedWithItsCodeAndSkipsTheRest) {
    g.stopStatus = kStopStatus;
    change_camera_size(s, true);
    EXPECT_EQ(g.calls, Calls{"stop"});
    EXPECT_EQ(alerts(), Calls{"SGStop " + std::to_string(kStopStatus)});
}

TEST_F(Rebound, FailingBoundsAfterAStopLeaveThePreviewStopped) {
    g.boundsStatus = -50;
    change_camera_size(s, true);
    EXPECT_EQ(g.calls, (Calls{"stop", "bounds"}));
    EXPECT_EQ(alerts(), Calls{"SGSetChannelBounds -50"});
}
