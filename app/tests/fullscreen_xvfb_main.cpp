// SPDX-License-Identifier: MIT
// Runs the full-screen tests on a real X server (the xcb platform). Without a reachable X server
// the process runs on the offscreen platform, so that test discovery works, and the tests skip.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <cstring>
#include <thread>

// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include <X11/Xlib.h>

namespace {

// A connection to $DISPLAY, or null. Xvfb resets itself when its last client leaves and refuses
// connections for a moment meanwhile (the previous test process may just have ended), so a
// refused connection is tried again for up to five seconds.
Display* connect_x_server(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) return nullptr;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        if (Display* dpy = XOpenDisplay(nullptr)) return dpy;
        if (std::chrono::steady_clock::now() > deadline) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Held open for the whole run, so that the server does not reset between this check and
    // Qt's own connection.
    Display* keepAlive = connect_x_server(argc, argv);
    qputenv("QT_QPA_PLATFORM", keepAlive ? "xcb" : "offscreen");
    if (!keepAlive) qunsetenv("DISPLAY");
    int status = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    if (keepAlive) XCloseDisplay(keepAlive);
    return status;
}
