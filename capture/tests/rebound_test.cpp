// SPDX-License-Identifier: MIT
// Re-bounding through the Grabber interface. A recording grabber stands in for a camera device,
// so the calls and their failures can be chosen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QTMovie.h"
#include "camera_test_support.h"
#include "pipeline_state.h"

namespace {

class RecordingGrabber : public Grabber {
public:
    int16_t stop() override {
        calls.push_back("stop");
        return stopStatus;
    }
    int16_t setChannelBounds(const Rect16& b) override {
        calls.push_back("bounds " + std::to_string(b.top) + " " + std::to_string(b.left) + " " +
                        std::to_string(b.bottom) + " " + std::to_string(b.right));
        return boundsStatus;
    }
    int16_t startPreview() override {
        calls.push_back("start");
        return startStatus;
    }
    std::vector<std::string> calls;
    int16_t stopStatus = 0, boundsStatus = 0, startStatus = 0;
};

struct Rebound : ::testing::Test {
    void SetUp() override {
        s.Width = 320;
        s.Height = 240;
        s.grabber = &g;
    }
    ErrorSpy spy;
    PipelineState s;
    RecordingGrabber g;
};

}  // namespace

TEST_F(Rebound, WithoutRestartOnlyTheBoundsChange) {
    change_camera_size(s, false);
    EXPECT_EQ(g.calls, (std::vector<std::string>{"bounds 0 0 240 320"}));
    EXPECT_TRUE(spy.texts().empty());
}

TEST_F(Rebound, WithRestartStopSetBoundsStartInThatOrder) {
    s.Width = 853;
    s.Height = 480;
    change_camera_size(s, true);
    EXPECT_EQ(g.calls, (std::vector<std::string>{"stop", "bounds 0 0 480 853", "start"}));
    EXPECT_TRUE(spy.texts().empty());
}

TEST_F(Rebound, FailingStopIsReportedAndSkipsTheRest) {
    g.stopStatus = -9405;
    change_camera_size(s, true);
    EXPECT_EQ(g.calls, (std::vector<std::string>{"stop"}));
    EXPECT_EQ(spy.texts(), (std::vector<std::string>{"SGStop\nerror code = -9405"}));
}

TEST_F(Rebound, FailingBoundsAfterAStopLeaveThePreviewStopped) {
    g.boundsStatus = -50;
    change_camera_size(s, true);
    EXPECT_EQ(g.calls, (std::vector<std::string>{"stop", "bounds 0 0 240 320"}));
    EXPECT_EQ(spy.texts(), (std::vector<std::string>{"SGSetChannelBounds\nerror code = -50"}));
}

TEST_F(Rebound, FailingStartIsReported) {
    g.startStatus = -9402;
    change_camera_size(s, true);
    EXPECT_EQ(g.calls.size(), 3u);
    EXPECT_EQ(spy.texts(), (std::vector<std::string>{"SGStartPreview\nerror code = -9402"}));
}
