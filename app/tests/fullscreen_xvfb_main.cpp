// SPDX-License-Identifier: MIT
// Runs the full-screen tests on a real X server (the xcb platform). Without a reachable X server
// the process runs on the offscreen platform, so that test discovery works, and the tests skip.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstring>

// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include <X11/Xlib.h>

namespace {

bool x_server_reachable(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) return false;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return false;
    XCloseDisplay(dpy);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool x11 = x_server_reachable(argc, argv);
    qputenv("QT_QPA_PLATFORM", x11 ? "xcb" : "offscreen");
    if (!x11) qunsetenv("DISPLAY");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
