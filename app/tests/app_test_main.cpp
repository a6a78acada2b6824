// SPDX-License-Identifier: MIT
// GoogleTest main with one QApplication on the offscreen platform (unless one is chosen). Built
// with WOBBLE_TEST_ON_X, it runs on the X server of $DISPLAY where one answers (the xcb platform),
// else offscreen, so that test discovery works and the tests that need X skip.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>

#ifdef WOBBLE_TEST_ON_X
#include <chrono>
#include <cstring>
#include <thread>
// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include <X11/Xlib.h>

// Opens a connection to $DISPLAY, held for the whole run so that the server does not reset between
// this check and Qt's own connection. Xvfb resets itself when its last client leaves and refuses
// connections for a moment meanwhile (the previous test process may just have ended), so a refused
// connection is tried again for up to five seconds.
static bool hold_x_server(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) return false;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!XOpenDisplay(nullptr)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}
#endif

int main(int argc, char** argv) {
#ifdef WOBBLE_TEST_ON_X
    const bool onX = hold_x_server(argc, argv);
    qputenv("QT_QPA_PLATFORM", onX ? "xcb" : "offscreen");
    if (!onX) qunsetenv("DISPLAY");
#endif
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // Settings and pictures go to throw-away places, never to the user's own.
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
