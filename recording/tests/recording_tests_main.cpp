// SPDX-License-Identifier: MIT
// The recording tests run headless: Qt's offscreen platform unless one is set.
#include <gtest/gtest.h>

#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

#ifdef WOBBLE_WITH_QT
#include <QApplication>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    av_log_set_level(AV_LOG_ERROR);
#ifdef WOBBLE_WITH_QT
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
