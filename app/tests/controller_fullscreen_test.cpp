// SPDX-License-Identifier: MIT
// Full screen in the real window on the offscreen platform, with a stand-in display-mode service
// that records its calls (the X server's own is tested under Xvfb); the screen full screen goes
// to and the display mode it picks.
#include <QContextMenuEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "display_mode.h"
#include "fullscreen_geometry.h"
#include "window_fixture.h"

namespace {

// Switches to exactly the size asked for, or fails with `status`.
class StandInModes : public DisplayModes {
public:
    StandInModes(std::vector<std::string>& log, int16_t status) : log(log), status(status) {}
    ModeSwitch switchToMode(const DisplayBounds& d, int width, int height) override {
        log.push_back("switch " + std::to_string(width) + "x" + std::to_string(height));
        return {status, status ? d : DisplayBounds{d.x, d.y, width, height}};
    }
    void restore() override { log.push_back("restore"); }
    std::vector<std::string>& log;
    int16_t status;
};

class FullScreen : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        startCamera(1);
        controller.window->show();
        frameBefore = view->geometry();
    }
    // Enters full screen and makes it the active window; returns the hint, if one was shown.
    std::string enter(int16_t status = 0) {
        controller.displayModes = std::make_unique<StandInModes>(log, status);
        controller.displayModesProbed = true;
        const auto hint = testcam::answer_box([&] { controller.beginFullScreen(nullptr); });
        QApplication::setActiveWindow(controller.fullScrWindow);
        EXPECT_TRUE(QTest::qWaitForWindowActive(controller.fullScrWindow));
        return hint.text;
    }
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QRect frameBefore;
    std::vector<std::string> log;
};

}  // namespace

TEST_F(FullScreen, TheViewGoesIntoABorderlessWindowAtTheSwitchedModeAndComesBackEveryWay) {
    EXPECT_EQ(enter(),
              "How to return back...|Control+Click, then you can select STOP from a "
              "popup menu.|I see.");
    FullScreenWindow* w = controller.fullScrWindow;
    EXPECT_EQ(log, std::vector<std::string>{"switch 64x48"});
    EXPECT_EQ(w->windowFlags() & (Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
              Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w->geometry(), QRect(screen.topLeft(), QSize(64, 48)));
    EXPECT_EQ(view->geometry(), QRect(0, 0, 64, 48));
    controller.beginFullScreen(nullptr);  // a second entry keeps the window and the saved frame
    EXPECT_EQ(controller.fullScrWindow, w);
    w->move(screen.topLeft() + QPoint(37, 21));  // a move by anyone else is undone
    controller.windowDidMove(w);
    EXPECT_EQ(w->pos(), screen.topLeft());
    // STOP pops up on a right click and on a Control+click only.
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                                 w->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view, &rightClick);
    EXPECT_TRUE(controller.fullScrMenu->isVisible());
    controller.fullScrMenu->hide();
    QTest::mouseClick(view, Qt::LeftButton, Qt::ControlModifier, QPoint(10, 10));
    ASSERT_TRUE(controller.fullScrMenu->isVisible());
    EXPECT_EQ(controller.fullScrMenu->actions().value(0)->text(), "STOP");

    // Every way back: STOP, the keys, the window closed by the window manager, quitting.
    QSignalSpy terminating(&controller, &Controller::willTerminate);
    for (const QString way : {"STOP", "Esc", "Ctrl+F", "F11", "close", "Ctrl+Q"}) {
        SCOPED_TRACE(way.toStdString());
        if (way == "STOP") {
            controller.fullScrMenu->actions()[0]->trigger();
        } else if (way == "close") {
            controller.fullScrWindow->close();
        } else {
            QTest::keySequence(controller.fullScrWindow, QKeySequence(way));
        }
        EXPECT_EQ(controller.fullScrWindow, nullptr);
        EXPECT_EQ(view->window(), controller.window);
        EXPECT_EQ(view->geometry(), frameBefore);
        EXPECT_EQ(log.back(), "restore");
        if (way != "Ctrl+Q") EXPECT_EQ(enter(), "");  // the hint comes once a run
    }
    EXPECT_EQ(terminating.count(), 1);
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    runLoop();  // spends the quit, asked for outside the event loop, before another loop runs
}

TEST_F(FullScreen, AFailedSwitchIsReportedAndFullScreenGoesOnAtTheCurrentMode) {
    enter(-10004);
    ASSERT_EQ(testcam::camera().alerts.size(), 1u);
    EXPECT_EQ(testcam::camera().alerts[0].text, "CGDisplaySwitchToMode\nerror code = -10004");
    EXPECT_EQ(controller.fullScrWindow->geometry(), screen);
    controller.endFullScreen(nullptr);
    EXPECT_EQ(view->sizeHint(), QSize(64, 48));
    EXPECT_EQ(log, std::vector<std::string>{"switch 64x48"});  // nothing to restore
}

// Where the full-screen window goes: the screen holding the main window's centre, else the primary.
TEST(TargetScreen, IsTheOneHoldingTheWindowsCentre) {
    const QRect left(0, 0, 1280, 1024), right(1280, 0, 1920, 1080), above(200, -768, 1024, 768);
    EXPECT_EQ(target_screen_index({1180, 100, 200, 400}, {left, right}, 0), 1);  // on the edge
    EXPECT_EQ(target_screen_index({1000, 100, 559, 400}, {left, right}, 1), 0);  // x = 1279.5
    EXPECT_EQ(target_screen_index({400, -600, 300, 200}, {above, left}, 1), 0);
    EXPECT_EQ(target_screen_index({-100, -500, 200, 100}, {right, left, above}, 1), 1);  // a gap
    EXPECT_EQ(target_screen_index({10, 10, 20, 20}, {left, {0, 0, 640, 480}}, 1), 0);    // overlap
}

struct ModeCase {
    const char* name;
    std::vector<ModeSize> modes;
    int current, expected;  // indices; the mode in force, -1 for none
    friend void PrintTo(const ModeCase& r, std::ostream* os) { *os << r.name; }
};
class NearestMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(NearestMode, ForA640By480Camera) {
    EXPECT_EQ(nearest_mode(GetParam().modes, 640, 480, GetParam().current), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ModeLists, NearestMode,
    ::testing::Values(
        ModeCase{"Exact", {{1920, 1080}, {800, 600}, {640, 480}, {320, 240}}, 0, 2},
        ModeCase{"ExactTwiceKeepsTheCurrent", {{1024, 768}, {640, 480}, {640, 480}}, 2, 2},
        ModeCase{"LargerBeatsANearerSmaller", {{1920, 1080}, {632, 474}, {720, 576}}, 0, 2},
        ModeCase{"BestIsCurrent", {{1920, 1080}, {800, 600}, {600, 400}}, 1, 1},
        ModeCase{"Empty", {}, -1, -1}),
    RowName());
