// SPDX-License-Identifier: MIT
// Display modes for real on an X server (Xvfb under scripts/test.sh; the tests skip without one):
// the XRandR service, and full screen switching the display to the camera size and back. Every
// check reads the server's state back over a connection of the test's own.
#include <QTest>

#include "display_mode.h"
#include "window_fixture.h"
// Xlib last: its macros (None, Bool) clash with Qt's and gtest's names.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {

struct ServerView {
    DisplayBounds crtc;    // the first active CRTC
    std::string modeName;  // its mode's name
    Time configured = 0;   // when it was last set
};

ServerView read_server() {
    ServerView v;
    Display* dpy = XOpenDisplay(nullptr);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy));
    for (int i = 0; i < res->ncrtc && v.modeName.empty(); ++i) {
        XRRCrtcInfo* ci = XRRGetCrtcInfo(dpy, res, res->crtcs[i]);
        if (ci->mode != None) {
            v.crtc = {ci->x, ci->y, static_cast<int>(ci->width), static_cast<int>(ci->height)};
            v.configured = ci->timestamp;
            for (int m = 0; m < res->nmode; ++m) {
                if (res->modes[m].id == ci->mode) v.modeName = res->modes[m].name;
            }
        }
        XRRFreeCrtcInfo(ci);
    }
    XRRFreeScreenResources(res);
    XCloseDisplay(dpy);
    return v;
}

// Gives the server's first output the modes a monitor would list beside the screen's own size
// (all that Xvfb offers), over a connection of its own: they vanish when it is closed.
class XDisplayModes : public WindowTest {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "no X server";
        WindowTest::SetUp();
        monitor = XOpenDisplay(nullptr);
        const Window root = DefaultRootWindow(monitor);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(monitor, root);
        ASSERT_GT(res->noutput, 0);
        for (const auto& [w, h] : {std::pair{640, 480}, {800, 600}, {1024, 768}}) {
            const std::string name = std::to_string(w) + "x" + std::to_string(h) + "-monitor";
            XRRModeInfo* info = XRRAllocModeInfo(name.c_str(), static_cast<int>(name.size()));
            info->width = w, info->height = h, info->hTotal = w + 160, info->vTotal = h + 23;
            info->dotClock = static_cast<unsigned long>(info->hTotal) * info->vTotal * 60;
            XRRAddOutputMode(monitor, res->outputs[0], XRRCreateMode(monitor, root, info));
            XRRFreeModeInfo(info);
        }
        XRRFreeScreenResources(res);
        XSync(monitor, False);
        before = read_server();
        ASSERT_GT(before.crtc.width, 1024);
    }
    void TearDown() override {
        WindowTest::TearDown();
        if (monitor) XCloseDisplay(monitor);
    }
    Display* monitor = nullptr;
    ServerView before;
};

}  // namespace

TEST_F(XDisplayModes, FullScreenSwitchesTheDisplayToTheNearestModeAndBack) {
    startCamera(1);  // 64 x 48: the nearest mode at least that large is 640 x 480
    controller.window->show();
    controller.firstTime = false;
    controller.beginFullScreen(nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller.fullScrWindow));
    EXPECT_EQ(read_server().modeName, "640x480-monitor");
    EXPECT_EQ(controller.fullScrWindow->geometry(), QRect(before.crtc.x, before.crtc.y, 640, 480));
    QTest::keyClick(controller.fullScrWindow, Qt::Key_Escape);
    EXPECT_EQ(read_server().crtc, before.crtc);
    // The keyboard is back with the main window, so its shortcuts work at once.
    EXPECT_TRUE(QTest::qWaitFor([&] { return controller.window->isActiveWindow(); }, 5000));
    controller.beginFullScreen(nullptr);
    controller.applicationWillTerminate();  // quitting in full screen puts the display back too
    EXPECT_EQ(read_server().modeName, before.modeName);
}

// A camera the size of the mode in force leaves the display alone: nothing set, nothing restored.
TEST_F(XDisplayModes, TheModeInForceIsNotSetAgain) {
    const std::unique_ptr<DisplayModes> service = open_xrandr_display_modes();
    EXPECT_EQ(service->switchToMode(before.crtc, before.crtc.width, before.crtc.height).status, 0);
    service->restore();
    EXPECT_EQ(read_server().configured, before.configured);
}
