// SPDX-License-Identifier: MIT
// Where the full-screen window goes, as pure geometry.
#include "fullscreen_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const QRect kPrimary(0, 0, 1280, 1024);
const QRect kRight(1280, 0, 1920, 1080);
const QRect kAbove(200, -768, 1024, 768);
const QRect kBelow(-300, 1024, 800, 600);

}  // namespace

TEST(FullScreenGeometry, WindowStraddlingTwoScreensGoesWhereItsCentreIs) {
    const QList<QRect> screens{kPrimary, kRight};
    // Mostly on the primary screen, centre at x = 1270.
    EXPECT_EQ(target_screen_index(QRectF(1000, 100, 540, 400), screens, 0), 0);
    // Mostly on the right screen, centre at x = 1300.
    EXPECT_EQ(target_screen_index(QRectF(1000, 100, 600, 400), screens, 0), 1);
    // The centre on the shared edge belongs to the screen on its right only.
    EXPECT_EQ(target_screen_index(QRectF(1180, 100, 200, 400), screens, 0), 1);
    EXPECT_EQ(target_screen_index(QRectF(1179, 100, 200, 400), screens, 0), 0);
    // Half-pixel centres count: x = 1279.5.
    EXPECT_EQ(target_screen_index(QRectF(1000, 100, 559, 400), screens, 0), 0);
}

TEST(FullScreenGeometry, CentreOnNoScreenGoesToThePrimaryScreen) {
    const QList<QRect> screens{kRight, kPrimary, kAbove};
    EXPECT_EQ(target_screen_index(QRectF(5000, 5000, 640, 480), screens, 1), 1);
    // In the gap left of the screen above the primary one.
    EXPECT_EQ(target_screen_index(QRectF(-100, -500, 200, 100), screens, 1), 1);
    EXPECT_EQ(target_screen_index(QRectF(0, 0, 640, 480), {}, 0), 0);
    // The first screen in the system's order wins where screens overlap.
    EXPECT_EQ(target_screen_index(QRectF(10, 10, 20, 20), {kPrimary, QRect(0, 0, 640, 480)}, 1), 0);
}

TEST(FullScreenGeometry, WindowOriginOnAScreenAboveOrBelowThePrimaryOne) {
    const QList<QRect> screens{kPrimary, kAbove, kBelow};
    const int above = target_screen_index(QRectF(400, -600, 300, 200), screens, 0);
    ASSERT_EQ(above, 1);
    EXPECT_EQ(full_screen_rect(screens[above], QRect()), kAbove);
    EXPECT_EQ(full_screen_rect(screens[above], QRect()).topLeft(), QPoint(200, -768));
    const int below = target_screen_index(QRectF(-250, 1100, 300, 200), screens, 0);
    ASSERT_EQ(below, 2);
    EXPECT_EQ(full_screen_rect(screens[below], QRect()).topLeft(), QPoint(-300, 1024));
    // After a mode switch the window takes the bounds the display then has.
    EXPECT_EQ(full_screen_rect(kAbove, QRect(200, -768, 640, 480)), QRect(200, -768, 640, 480));
}

TEST(FullScreenGeometry, OnlyAMovedOriginIsPutBack) {
    const QPointF origin(200, -768);
    EXPECT_FALSE(origin_differs(QPointF(200, -768), origin));
    EXPECT_TRUE(origin_differs(QPointF(201, -768), origin));
    EXPECT_TRUE(origin_differs(QPointF(200, -767.5), origin));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(origin_differs(QPointF(nan, -768), origin));
    EXPECT_TRUE(origin_differs(QPointF(200, -768), QPointF(200, nan)));
}
