// SPDX-License-Identifier: MIT
// Start-up in its fixed order and failures at each step, the frame loop under an alert, and the
// end by Quit or by a signal. The command line is checked on the installed program.
#include <csignal>
#include <functional>

#include "signal_quit.h"
#include "window_fixture.h"

namespace {

struct StartCase {
    const char* name;
    bool testcam::Camera::*fail;  // the step made to fail; null for none
    int signal;                   // that ends the run instead of the Quit menu item; 0 for none
    std::string seen;             // the camera's calls, the alerts, the status, the camera timer
    friend void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }
};

class StartUp : public WindowTest, public ::testing::WithParamInterface<StartCase> {};

std::function<void()> g_alertOpen;  // what the stand-in alert box does while it is open

// The camera comes up in its fixed order and the camera timer drives the frames until Quit or a
// signal ends the run with its status, as main sets it up; a step that fails shows its alert and
// the program ends with status 1, without a camera timer. An alert raised inside a render pass
// holds the frame loop while its box's own event loop runs: the camera gets no idle time and the
// ring stays where it was.
TEST_P(StartUp, BringsTheCameraUpInOrderAndEndsByQuitASignalOrTheFailedStep) {
    const StartCase& row = GetParam();
    if (row.fail) testcam::camera().*row.fail = true;
    const QuitSignals handlers([this](int sig) { controller.quitApplication(128 + sig); });
    ASSERT_TRUE(handlers.ok());
    uint8_t recording = 1;
    view->setRecordingHook(&recording, [&](const uint8_t*, int) {
        recording = 0;
        error_msg("AddMediaSample for Video", -2014);
        return true;
    });
    const auto now = [&] {
        return std::to_string(testcam::camera().calls.size()) + " calls, ring at " +
               std::to_string(pipeline.SFIndex);
    };
    std::string before, after;
    g_alertOpen = [&] {
        int ticks = 0;
        QTimer* timer = view->findChild<QTimer*>("cameraTimer");
        if (!timer) return;
        before = now();
        QObject::connect(timer, &QTimer::timeout, view, [&] { ++ticks; });
        EXPECT_TRUE(testcam::wait_until([&] { return ticks >= 3; }));
        after = now();
    };
    set_error_msg_backend(
        nullptr, [](const std::string& title, const std::string& text, const std::string& button) {
            testcam::spy_alert(title, text, button);
            g_alertOpen();
        });
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return !recording && view->picturesDrawn() >= 5; }));
        row.signal ? (void)std::raise(row.signal) : ui->actionQuit->trigger();
    });
    std::string seen;
    for (const std::string& call : testcam::camera().calls)
        if (seen.find(call) == std::string::npos) seen += call + " ";
    for (const testcam::Alert& a : testcam::camera().alerts)
        seen += "| " + a.title + ": " + a.text + " [" + a.button + "] ";
    const QTimer* timer = view->findChild<QTimer*>("cameraTimer");
    seen += "| status " + std::to_string(status) + " | " +
            (timer ? std::to_string(timer->interval()) + " ms" : "no timer");
    EXPECT_EQ(seen, row.seen);
    EXPECT_EQ(after, before) << "the camera got idle time while the alert was open";
    EXPECT_FALSE(alert_is_shown());
    if (row.fail) return;
    EXPECT_TRUE(testcam::camera().timerRanAtStart && timer->timerType() == Qt::PreciseTimer);
    EXPECT_EQ(view->sizeHint(), QSize(64, 48));  // half size, drawn at the camera's size
}

const std::string kRan =
    "setup_camera install_grab_complete start_camera camera_idle | Error in "
    "Wobblescope: AddMediaSample for Video\nerror code = -2014 [OK] | status ";
INSTANTIATE_TEST_SUITE_P(
    EachStep, StartUp,
    ::testing::Values(
        StartCase("AllSucceed", nullptr, 0, kRan + "0 | 33 ms"),
        StartCase("Sigterm", nullptr, SIGTERM, kRan + "143 | 33 ms"),
        StartCase("Sigint", nullptr, SIGINT, kRan + "130 | 33 ms"),
        StartCase("Sighup", nullptr, SIGHUP, kRan + "129 | 33 ms"),
        StartCase("SetupCamera", &testcam::Camera::failSetup, 0,
                  "setup_camera | Error in Wobblescope: OpenDefaultComponent SeqGrabComponentType "
                  "[OK] | status 1 | no timer"),
        StartCase("SetupCameraProcs", &testcam::Camera::failInstall, 0,
                  "setup_camera install_grab_complete | Error in Wobblescope: "
                  "SGSetVideoBottlenecks\nerror code = -50 [OK] | status 1 | no timer"),
        StartCase("StartCamera", &testcam::Camera::failStart, 0,
                  "setup_camera install_grab_complete start_camera | Error in Wobblescope: "
                  "SGStartPreview\nerror code = -9405 [OK] | status 1 | no timer")),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
