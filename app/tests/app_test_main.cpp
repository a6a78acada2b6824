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
#include <thread>
// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include <X11/Xlib.h>
#endif

int main(int argc, char** argv) {
#ifdef WOBBLE_TEST_ON_X
    // The connection is held for the whole run. Xvfb resets itself when its last client leaves and
    // refuses connections for a moment meanwhile (the previous test process may just have ended),
    // so it is asked again for up to five seconds.
    bool onX = false;
    for (int i = 0; i < 100 && !onX && !qEnvironmentVariableIsEmpty("DISPLAY"); ++i) {
        onX = XOpenDisplay(nullptr) != nullptr;
        if (!onX) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    qputenv("QT_QPA_PLATFORM", onX ? "xcb" : "offscreen");
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
