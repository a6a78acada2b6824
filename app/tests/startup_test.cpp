// SPDX-License-Identifier: MIT
// Start-up in its fixed order, failures at each step, and shutdown by closing the main window.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QWidget>

#include "error_alert.h"
#include "window_fixture.h"

namespace {

std::vector<std::string> calls_without_idle() {
    std::vector<std::string> calls;
    for (const std::string& c : testcam::camera().calls)
        if (c != "camera_idle") calls.push_back(c);
    return calls;
}

long idle_calls() {
    const auto& calls = testcam::camera().calls;
    return std::count(calls.begin(), calls.end(), std::string("camera_idle"));
}

}  // namespace

TEST_F(WindowTest, LaunchBringsTheCameraUpInOrderAndTheTimerDrivesTheFrames) {
    QTimer* timer = nullptr;
    const int status = launch([&] {
        timer = view->findChild<QTimer*>("cameraTimer");
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 3; }));
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(calls_without_idle(),
              (std::vector<std::string>{"setup_camera", "install_grab_complete", "start_camera"}));
    EXPECT_TRUE(testcam::camera().timerRanAtStart);
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 33);
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
    EXPECT_FALSE(timer->isSingleShot());
    EXPECT_GE(idle_calls(), 5);
    // setupCameraProcs sized the pipeline for half size, drawn at the camera size.
    EXPECT_EQ(viewState.currentSize, kHalfSize);
    EXPECT_EQ(pipeline.Width, 32);
    EXPECT_EQ(pipeline.bitmap, &pipeline.smallBitmap);
    EXPECT_EQ(pipeline.smallBitmap.displayWidth, 64);
    EXPECT_EQ(view->sizeHint(), QSize(64, 48));
    EXPECT_TRUE(testcam::camera().alerts.empty());
}

struct FailingStep {
    const char* name;
    bool testcam::Camera::*fail;
    std::vector<std::string> calls;
    std::string text;
};

void PrintTo(const FailingStep& step, std::ostream* os) { *os << step.name; }

class StartUpFailure : public WindowTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(StartUpFailure, ShowsItsAlertAndQuitsWithoutATimer) {
    const FailingStep& step = GetParam();
    testcam::camera().*step.fail = true;
    bool ranOn = false;
    const int status = launch([&] { ranOn = true; });
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(ranOn);
    EXPECT_EQ(testcam::camera().calls, step.calls);  // no idle call: the frame loop never ran
    ASSERT_EQ(testcam::camera().alerts.size(), 1u);
    EXPECT_EQ(testcam::camera().alerts[0].text, step.text);
    EXPECT_EQ(testcam::camera().alerts[0].title, "Error in Wobblescope");
    EXPECT_EQ(testcam::camera().alerts[0].button, "OK");
    EXPECT_EQ(view->findChild<QTimer*>("cameraTimer"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, StartUpFailure,
    ::testing::Values(
        FailingStep{"setup_camera", &testcam::Camera::failSetup, {"setup_camera"},
                    "OpenDefaultComponent SeqGrabComponentType"},
        FailingStep{"setupCameraProcs", &testcam::Camera::failInstall,
                    {"setup_camera", "install_grab_complete"}, "SGSetVideoBottlenecks\nerror code = -50"},
        FailingStep{"start_camera", &testcam::Camera::failStart,
                    {"setup_camera", "install_grab_complete", "start_camera"},
                    "SGStartPreview\nerror code = -9405"}),
    [](const ::testing::TestParamInfo<FailingStep>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, ClosingAnotherWindowDoesNotQuitButClosingTheMainWindowDoes) {
    QWidget other;  // stands for the full-screen window, whose delegate is the controller too
    controller.setWindowDelegate(&other);
    QSignalSpy quits(&controller, &Controller::willTerminate);
    bool otherClosed = false, aliveAfterOther = false;
    const int status = launch([&] {
        other.show();
        controller.window->show();
        otherClosed = other.close();
        QTimer::singleShot(0, &controller, [&] {
            QTimer::singleShot(0, &controller, [&] {
                aliveAfterOther = quits.isEmpty();
                controller.window->close();
            });
        });
    });
    EXPECT_TRUE(otherClosed);
    EXPECT_TRUE(aliveAfterOther);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(quits.count(), 1);
    EXPECT_EQ(quits[0][0].toInt(), 0);
}

TEST_F(WindowTest, QuitMenuItemQuits) {
    const int status = launch([&] { ui->actionQuit->trigger(); });
    EXPECT_EQ(status, 0);
}

TEST_F(WindowTest, FrameLoopWaitsWhileAnAlertIsShown) {
    install_error_alert();  // the real alert, raised from inside a render pass
    uint8_t recording = 1;
    bool failed = false;
    view->setRecordingHook(&recording, [&](const uint8_t*, int) {
        if (!failed) {
            failed = true;
            error_msg("AddMediaSample for Video", -2014);
            recording = 0;
        }
        return true;
    });

    QString alertText;
    long idleBefore = -1, idleAfter = -2;
    int ringBefore = -1, ringAfter = -2;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll.stop();
        alertText = box->text();
        idleBefore = idle_calls();
        ringBefore = pipeline.SFIndex;
        int ticks = 0;
        QTimer* timer = view->findChild<QTimer*>("cameraTimer");
        QObject::connect(timer, &QTimer::timeout, [&] { ++ticks; });
        EXPECT_TRUE(testcam::wait_until([&] { return ticks >= 3; }));
        idleAfter = idle_calls();
        ringAfter = pipeline.SFIndex;
        box->defaultButton()->click();
    });
    poll.start(5);
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return failed && view->picturesDrawn() >= 5; }));
        controller.window->close();
    });
    set_error_msg_backend(nullptr, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(alertText, "AddMediaSample for Video\nerror code = -2014");
    EXPECT_GE(idleBefore, 3);
    EXPECT_EQ(idleAfter, idleBefore) << "the camera got idle time while the alert was open";
    EXPECT_EQ(ringAfter, ringBefore);
    EXPECT_FALSE(alert_is_shown());
}
