// SPDX-License-Identifier: MIT
// Full screen for real on an X server: the window, the live picture in it, the display's mode
// switched to the camera size and restored.
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "schedule_app_fixture.h"
// Xlib last: its macros clash with Qt's headers.
#include "xrandr_probe.h"

namespace {

bool fake_grab_complete(CaptureState&, FrameReceiver*) {
    return true;
}

class FullScreenXvfb : public AppFixture {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "no X server";
        }
        AppFixture::SetUp();
        // A camera of 640 x 480 that delivers whatever the test writes into its buffer.
        camera.assign(static_cast<size_t>(pipeline.LargeSrcRowBytes) * pipeline.LargeHeight, 0);
        pipeline.srcData = camera.data();
        view->cameraProcs.install_grab_complete = fake_grab_complete;
        ASSERT_TRUE(view->setupCameraProcs());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window));
    }
    void TearDown() override {
        AppFixture::TearDown();
        release_pipeline(pipeline);
    }
    // Delivers one frame of colour bars that move with n.
    void deliver(int n) {
        for (int y = 0; y < pipeline.LargeHeight; ++y) {
            uint8_t* row = camera.data() + static_cast<size_t>(y) * pipeline.LargeSrcRowBytes;
            for (int x = 0; x < pipeline.LargeWidth; ++x) {
                const int bar = ((x + 8 * n) / 80) % 8;
                row[4 * x] = 255;
                row[4 * x + 1] = (bar & 1) ? 230 : 20;
                row[4 * x + 2] = (bar & 2) ? 230 : 20;
                row[4 * x + 3] = (bar & 4) ? 230 : (y * 255 / pipeline.LargeHeight);
            }
        }
        view->MyMovieDrawingCompleteMethod();
    }
    // The window's top-left corner on the root window, as the X server has it.
    QPoint serverOrigin(QWidget* w) {
        Display* dpy = XOpenDisplay(nullptr);
        int x = -1, y = -1;
        Window child;
        XTranslateCoordinates(dpy, static_cast<Window>(w->winId()), DefaultRootWindow(dpy), 0, 0,
                              &x, &y, &child);
        XCloseDisplay(dpy);
        return {x, y};
    }

    std::vector<uint8_t> camera;
    // The modes a monitor would offer; the program picks among them and makes none.
    MonitorModes monitor{{{640, 480}, {800, 600}}};
};

}  // namespace

TEST_F(FullScreenXvfb, EntersAndLeavesForRealWithTheModeSwitchedAndRestored) {
    const ServerView before = read_server();
    const QRect frameBefore = view->geometry();
    for (int n = 0; n < 4; ++n) deliver(n);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->picturesDrawn() > 0; }, 5000));

    MessageBoxAnswerer answerer;
    controller->beginFullScreen(nullptr);
    ASSERT_EQ(answerer.seen.size(), 1u);
    FullScreenWindow* w = controller->fullScrWindow;
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_TRUE(recorded_alerts().empty());

    // Xvfb lets RandR switch its one output: the display now has the camera's size.
    ASSERT_TRUE(controller->ScreenReconfigured);
    const ServerView during = read_server();
    EXPECT_EQ(during.crtc, (DisplayBounds{before.crtc.x, before.crtc.y, 640, 480}));
    EXPECT_EQ(during.modeName, "640x480-monitor");
    EXPECT_FALSE(has_own_mode(during));
    const QRect full(before.crtc.x, before.crtc.y, 640, 480);
    EXPECT_EQ(w->geometry(), full);
    EXPECT_TRUE(QTest::qWaitFor([&] { return serverOrigin(w) == full.topLeft(); }, 5000));
    EXPECT_EQ(view->geometry(), QRect(0, 0, 640, 480));

    // The live picture goes on in the full-screen window.
    const long long drawn = view->picturesDrawn();
    for (int n = 4; n < 8; ++n) deliver(n);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->picturesDrawn() > drawn; }, 5000));
    if (const char* shot = std::getenv("WOBBLE_FULLSCREEN_SHOT")) {
        QTest::qWait(200);
        w->screen()->grabWindow(0).save(QString::fromLocal8Bit(shot));
    }

    // A move by anyone else is undone.
    w->move(full.topLeft() + QPoint(20, 20));
    EXPECT_TRUE(QTest::qWaitFor([&] { return serverOrigin(w) == full.topLeft(); }, 5000));

    controller->endFullScreen(nullptr);
    const ServerView after = read_server();
    EXPECT_EQ(after.crtc, before.crtc);
    EXPECT_EQ(after.modeName, before.modeName);
    EXPECT_EQ(after.screenWidth, before.screenWidth);
    EXPECT_FALSE(has_own_mode(after));
    EXPECT_EQ(view->window(), controller->window);
    EXPECT_EQ(view->geometry(), frameBefore);
    EXPECT_EQ(pipeline.largeBitmap.displayWidth, 640.0f);
    const long long back = view->picturesDrawn();
    for (int n = 8; n < 12; ++n) deliver(n);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->picturesDrawn() > back; }, 5000));
}

TEST_F(FullScreenXvfb, QuittingWhileFullScreenRestoresTheDisplay) {
    const ServerView before = read_server();
    controller->firstTime = false;
    controller->changeFullScreen(nullptr);
    ASSERT_NE(controller->fullScrWindow, nullptr);
    ASSERT_TRUE(controller->ScreenReconfigured);
    EXPECT_EQ(read_server().crtc.width, 640);
    controller->applicationWillTerminate();
    EXPECT_EQ(read_server().crtc, before.crtc);
    EXPECT_FALSE(has_own_mode(read_server()));
}

TEST_F(FullScreenXvfb, EscapeOnTheRealWindowReturns) {
    controller->firstTime = false;
    controller->beginFullScreen(nullptr);
    FullScreenWindow* w = controller->fullScrWindow;
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_EQ(controller->fullScrWindow, nullptr);
    EXPECT_EQ(view->window(), controller->window);
    // The keyboard is back with the main window, so its shortcuts work at once.
    EXPECT_TRUE(QTest::qWaitFor([&] { return controller->window->isActiveWindow(); }, 5000));
}
