// SPDX-License-Identifier: MIT
// The XRandR display-mode service on a real X server (Xvfb under scripts/test.sh). Every check
// reads the server's state back over a connection of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>

#include "display_mode.h"
// clang-format off
// Xlib after gtest: its macros (None, Bool) clash with gtest's names.
#include "xrandr_probe.h"
// clang-format on

namespace {

class DisplayModeXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        service = open_xrandr_display_modes();
        if (!service) GTEST_SKIP() << "the X server lacks RandR 1.2";
        before = read_server();
        ASSERT_GT(before.crtc.width, 1024);
        ASSERT_GT(before.crtc.height, 768);
    }
    // What a monitor would offer beside the screen's own size.
    MonitorModes monitor{{{640, 480}, {800, 600}, {1024, 768}}};
    std::unique_ptr<DisplayModes> service;
    ServerView before;
};

}  // namespace

TEST_F(DisplayModeXvfb, SwitchesToTheExactModeAndRestoresTheFormerOne) {
    const ModeSwitch s = service->switchToMode(before.crtc, 640, 480);
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.bounds, (DisplayBounds{before.crtc.x, before.crtc.y, 640, 480}));
    const ServerView during = read_server();
    EXPECT_EQ(during.crtc, s.bounds);
    EXPECT_EQ(during.modeName, "640x480-monitor");
    EXPECT_EQ(during.screenWidth, before.crtc.x + 640);
    EXPECT_EQ(during.screenHeight, before.crtc.y + 480);
    EXPECT_FALSE(has_own_mode(during));

    service->restore();
    const ServerView after = read_server();
    EXPECT_EQ(after.crtc, before.crtc);
    EXPECT_EQ(after.modeName, before.modeName);
    EXPECT_EQ(after.screenWidth, before.screenWidth);
    EXPECT_EQ(after.screenHeight, before.screenHeight);
    service->restore();  // a second restore changes nothing
    EXPECT_EQ(read_server().crtc, before.crtc);
}

TEST_F(DisplayModeXvfb, WithoutAnExactModeTheNearestLargerOneIsUsedAndNoneIsMade) {
    const ModeSwitch s = service->switchToMode(before.crtc, 700, 500);
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.bounds, (DisplayBounds{before.crtc.x, before.crtc.y, 800, 600}));
    const ServerView during = read_server();
    EXPECT_EQ(during.modeName, "800x600-monitor");
    EXPECT_FALSE(has_own_mode(during));
    service->restore();
    EXPECT_EQ(read_server().crtc, before.crtc);
}

TEST_F(DisplayModeXvfb, WhenTheBestModeIsInForceNothingIsSwitched) {
    // The screen's own size, and a camera larger than every mode: both leave the mode in force.
    for (const auto& [w, h] : {std::pair{before.crtc.width, before.crtc.height}, {4000, 3000}}) {
        const ModeSwitch s = service->switchToMode(before.crtc, w, h);
        EXPECT_EQ(s.status, 0);
        EXPECT_EQ(s.bounds, before.crtc);
        const ServerView during = read_server();
        EXPECT_EQ(during.modeName, before.modeName);
        EXPECT_EQ(during.screenWidth, before.screenWidth);
        service->restore();
        EXPECT_EQ(read_server().crtc, before.crtc);
    }
}

TEST_F(DisplayModeXvfb, AFailedSwitchLeavesTheDisplayAsItWas) {
    // No display there.
    const ModeSwitch s = service->switchToMode({before.screenWidth + 5000, 0, 100, 100}, 320, 240);
    EXPECT_NE(s.status, 0);
    const ServerView after = read_server();
    EXPECT_EQ(after.crtc, before.crtc);
    EXPECT_EQ(after.screenWidth, before.screenWidth);
    service->restore();  // nothing to restore
    EXPECT_EQ(read_server().crtc, before.crtc);
}

TEST_F(DisplayModeXvfb, ClosingTheServiceWhileSwitchedRestoresTheMode) {
    ASSERT_EQ(service->switchToMode(before.crtc, 1000, 700).status, 0);
    EXPECT_EQ(read_server().crtc.width, 1024);
    service.reset();
    const ServerView after = read_server();
    EXPECT_EQ(after.crtc, before.crtc);
    EXPECT_EQ(after.screenWidth, before.screenWidth);
}
