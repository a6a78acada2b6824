// SPDX-License-Identifier: MIT
// Full screen in the real window on the offscreen platform: the window, the view's frame, image
// size and menu, the hint, the display-mode service (a recording stand-in here; the X server's
// own is tested under Xvfb) and the return.
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "effect_matrix.h"
#include "schedule_sheet.h"
#include "ui_MainWindow.h"

#include "schedule_app_fixture.h"

namespace {

// A display-mode service that records its calls and answers as told.
class RecordingDisplayModes : public DisplayModes {
public:
    explicit RecordingDisplayModes(std::vector<std::string>* log) : log(log) {}
    ModeSwitch switchToMode(const DisplayBounds& display, int width, int height) override {
        log->push_back("switch " + std::to_string(width) + "x" + std::to_string(height));
        asked = display;
        ModeSwitch r;
        r.status = status;
        r.bounds = status == 0 ? DisplayBounds{display.x, display.y, width, height} : display;
        return r;
    }
    void restore() override { log->push_back("restore"); }

    std::vector<std::string>* log;
    int16_t status = 0;
    DisplayBounds asked;
};

class FullScreenInWindow : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        screen = QGuiApplication::primaryScreen()->geometry();
    }
    // Installs the recording service in place of the session's.
    RecordingDisplayModes* useRecordingModes(int16_t status) {
        auto modes = std::make_unique<RecordingDisplayModes>(&log);
        modes->status = status;
        RecordingDisplayModes* raw = modes.get();
        controller->displayModes = std::move(modes);
        controller->displayModesProbed = true;
        return raw;
    }
    void enter() {
        MessageBoxAnswerer answerer;
        answerer.onAnswer = [this] { log.push_back("hint"); };
        controller->beginFullScreen(nullptr);
        hints.insert(hints.end(), answerer.seen.begin(), answerer.seen.end());
    }
    bool menuPopsUpOnRightClick() {
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5),
                            view->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(view, &e);
        const bool shown = controller->fullScrMenu->isVisible();
        controller->fullScrMenu->hide();
        return shown;
    }

    QRect screen;
    std::vector<std::string> log;
    std::vector<std::string> hints;
};

}  // namespace

TEST_F(FullScreenInWindow, EnteringMovesTheViewIntoABorderlessWindowOverTheScreen) {
    const QRect frameBefore = view->geometry();
    const QSize windowBefore = controller->window->size();
    enter();
    FullScreenWindow* w = controller->fullScrWindow;
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w->geometry(), screen);
    EXPECT_EQ(controller->scrOrigin, QPointF(screen.topLeft()));
    EXPECT_EQ(view->parentWidget(), w);
    EXPECT_EQ(view->geometry(), QRect(QPoint(0, 0), screen.size()));
    EXPECT_EQ(pipeline.largeBitmap.displayWidth, screen.width());
    EXPECT_EQ(pipeline.smallBitmap.displayHeight, screen.height());
    EXPECT_EQ(controller->originalFrame, frameBefore);
    // The main window keeps its size while the view is away; the working size is untouched.
    QApplication::processEvents();
    EXPECT_EQ(controller->window->size(), windowBefore);
    EXPECT_EQ(pipeline.LargeWidth, 640);
    // Offscreen has no display-mode service: no switch, no alert.
    EXPECT_EQ(controller->displayModes, nullptr);
    EXPECT_FALSE(controller->ScreenReconfigured);
    EXPECT_TRUE(recorded_alerts().empty());
}

TEST_F(FullScreenInWindow, TheHintIsShownOnTheFirstEntryOfARunOnly) {
    enter();
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0],
              "How to return back...|Control+Click, then you can select STOP from a popup "
              "menu.|I see.");
    controller->endFullScreen(nullptr);
    enter();
    controller->changeFullScreen(nullptr);
    controller->changeFullScreen(nullptr);
    EXPECT_EQ(hints.size(), 1u);
    EXPECT_NE(controller->fullScrWindow, nullptr);
}

TEST_F(FullScreenInWindow, ReturningRestoresTheViewsFrameImageSizeAndMenu) {
    const QRect frameBefore = view->geometry();
    QWidget* parentBefore = view->parentWidget();
    enter();
    EXPECT_TRUE(menuPopsUpOnRightClick());
    QPointer<FullScreenWindow> w = controller->fullScrWindow;
    controller->endFullScreen(nullptr);
    EXPECT_EQ(controller->fullScrWindow, nullptr);
    EXPECT_EQ(view->parentWidget(), parentBefore);
    EXPECT_EQ(view->geometry(), frameBefore);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(pipeline.largeBitmap.displayWidth, 640.0f);
    EXPECT_EQ(pipeline.largeBitmap.displayHeight, 480.0f);
    EXPECT_FALSE(menuPopsUpOnRightClick());
    EXPECT_EQ(controller->window->findChild<QWidget*>("myMovieViewPlaceholder"), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());  // the full-screen window is gone
    EXPECT_EQ(view->geometry(), frameBefore);
    // Ending again does nothing.
    controller->endFullScreen(nullptr);
    EXPECT_EQ(view->parentWidget(), parentBefore);
}

TEST_F(FullScreenInWindow, TheContextMenuOffersStopOnRightClickAndControlClick) {
    enter();
    QMenu* menu = controller->fullScrMenu;
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "STOP");
    EXPECT_TRUE(menuPopsUpOnRightClick());
    QTest::mouseClick(view, Qt::LeftButton, Qt::ControlModifier, QPoint(10, 10));
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_FALSE(menu->isVisible());
    menu->actions()[0]->trigger();
    EXPECT_EQ(controller->fullScrWindow, nullptr);
    EXPECT_EQ(view->window(), controller->window);
}

TEST_F(FullScreenInWindow, EscapeEndsFullScreen) {
    enter();
    QTest::keyClick(controller->fullScrWindow, Qt::Key_Escape);
    EXPECT_EQ(controller->fullScrWindow, nullptr);
    EXPECT_EQ(view->window(), controller->window);
}

TEST_F(FullScreenInWindow, BeginWhileFullScreenDoesNothing) {
    enter();
    FullScreenWindow* w = controller->fullScrWindow;
    const QRect saved = controller->originalFrame;
    controller->beginFullScreen(nullptr);
    EXPECT_EQ(controller->fullScrWindow, w);
    EXPECT_EQ(controller->originalFrame, saved);
    const QWidgetList tops = QApplication::topLevelWidgets();
    EXPECT_EQ(std::count_if(
                  tops.begin(), tops.end(),
                  [](QWidget* t) { return qobject_cast<FullScreenWindow*>(t) && t->isVisible(); }),
              1);
    controller->endFullScreen(nullptr);
    EXPECT_EQ(view->geometry(), saved);
}

TEST_F(FullScreenInWindow, OnlyTheFullScreenWindowIsPutBackWhenMoved) {
    enter();
    FullScreenWindow* w = controller->fullScrWindow;
    w->move(screen.topLeft() + QPoint(37, 21));
    EXPECT_EQ(w->pos(), screen.topLeft());
    controller->windowDidMove(w);
    EXPECT_EQ(w->pos(), screen.topLeft());
    controller->window->move(300, 200);
    controller->windowDidMove(controller->window);
    EXPECT_EQ(controller->window->pos(), QPoint(300, 200));
}

TEST_F(FullScreenInWindow, MenuItemTogglesWithControlFOrF11) {
    QAction* item = controller->window->findChild<QAction*>("actionFullScreen");
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_F)));
    EXPECT_TRUE(item->shortcuts().contains(QKeySequence(Qt::Key_F11)));
    EXPECT_TRUE(controller->window->findChild<QMenu*>("menuView")->actions().contains(item));
    controller->firstTime = false;
    item->trigger();
    ASSERT_NE(controller->fullScrWindow, nullptr);
    EXPECT_TRUE(controller->fullScrWindow->actions().contains(item));  // works there too
    item->trigger();
    EXPECT_EQ(controller->fullScrWindow, nullptr);
}

TEST_F(FullScreenInWindow, ASwitchedModeIsUsedAndRestoredAfterTheHint) {
    RecordingDisplayModes* modes = useRecordingModes(0);
    enter();
    EXPECT_EQ(log, (std::vector<std::string>{"hint", "switch 640x480"}));
    EXPECT_EQ(modes->asked,
              (DisplayBounds{screen.x(), screen.y(), screen.width(), screen.height()}));
    EXPECT_TRUE(controller->ScreenReconfigured);
    const QRect switched(screen.topLeft(), QSize(640, 480));
    EXPECT_EQ(controller->fullScrWindow->geometry(), switched);
    EXPECT_EQ(view->geometry(), QRect(0, 0, 640, 480));
    EXPECT_EQ(pipeline.largeBitmap.displayWidth, 640.0f);
    controller->endFullScreen(nullptr);
    EXPECT_EQ(log.back(), "restore");
    EXPECT_FALSE(controller->ScreenReconfigured);
    EXPECT_TRUE(recorded_alerts().empty());
}

TEST_F(FullScreenInWindow, AFailedSwitchIsReportedAndFullScreenGoesOnAtTheCurrentMode) {
    useRecordingModes(-10004);
    enter();
    ASSERT_EQ(recorded_alerts().size(), 1u);
    EXPECT_EQ(recorded_alerts()[0],
              "Error in Wobblescope|CGDisplaySwitchToMode\nerror code = -10004");
    EXPECT_FALSE(controller->ScreenReconfigured);
    ASSERT_NE(controller->fullScrWindow, nullptr);
    EXPECT_EQ(controller->fullScrWindow->geometry(), screen);
    controller->endFullScreen(nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"hint", "switch 640x480"}));  // no restore
}

TEST_F(FullScreenInWindow, QuittingWhileFullScreenRestoresTheDisplayMode) {
    useRecordingModes(0);
    enter();
    controller->quitApplication(0);
    EXPECT_EQ(log.back(), "restore");
    EXPECT_EQ(controller->fullScrWindow, nullptr);
    EXPECT_EQ(view->window(), controller->window);
}

TEST_F(FullScreenInWindow, ClosingTheFullScreenWindowReturnsTheViewAndKeepsRunning) {
    useRecordingModes(0);
    enter();
    QSignalSpy terminating(controller.get(), &Controller::willTerminate);
    controller->fullScrWindow->close();
    EXPECT_EQ(controller->fullScrWindow, nullptr);
    EXPECT_EQ(view->window(), controller->window);
    EXPECT_EQ(log.back(), "restore");
    EXPECT_TRUE(controller->window->isVisible());
    EXPECT_EQ(terminating.count(), 0);
}

TEST_F(FullScreenInWindow, EveryShortcutOfTheMainWindowWorksInFullScreen) {
    controller->firstTime = false;
    controller->beginFullScreen(nullptr);
    FullScreenWindow* w = controller->fullScrWindow;
    ASSERT_NE(w, nullptr);
    for (QAction* a : controller->window->findChildren<QAction*>()) {
        if (!a->shortcuts().isEmpty()) {
            EXPECT_TRUE(w->actions().contains(a)) << a->objectName().toStdString();
        }
    }
    QApplication::setActiveWindow(w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    Ui::MainWindow& ui = *controller->ui;
    QTest::keyClick(w, Qt::Key_2);
    EXPECT_EQ(view->deformMode->selectedColumn(), 1);
    QTest::keyClick(w, Qt::Key_0);
    EXPECT_TRUE(view->normalSwitch->isChecked());
    QTest::keyClick(w, Qt::Key_6);  // ends Normal and chooses Motion Paint
    EXPECT_FALSE(view->normalSwitch->isChecked());
    EXPECT_EQ(view->deformMode->selectedRow(), 1);
    EXPECT_EQ(view->deformMode->selectedColumn(), 2);
    const bool mirrored = viewState.mirrorMode;
    QTest::keyClick(w, Qt::Key_M);
    EXPECT_NE(viewState.mirrorMode, mirrored);
    QTest::keyClick(w, Qt::Key_S);
    EXPECT_TRUE(ui.sizeSwitch->isChecked());
    QTest::keyClick(w, Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(controller->timerSheet->isVisible());
    controller->clickTimerCancel(nullptr);
    QSignalSpy terminating(controller.get(), &Controller::willTerminate);
    QTest::keyClick(w, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(terminating.count(), 1);
    EXPECT_EQ(controller->fullScrWindow, nullptr);  // the display comes back before the end
}
