// SPDX-License-Identifier: MIT
// Start-up in its fixed order and failures at each step, the frame loop under an alert, the end by
// a signal, and the command line of the program.
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <functional>

#include "movie_reader.h"
#include "recording.h"
#include "signal_quit.h"
#include "window_fixture.h"

namespace {

struct StartCase {
    const char* name;
    bool testcam::Camera::*fail;  // the step made to fail; null for none
    std::vector<std::string> calls;
    std::string alert;
};
void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class StartUp : public WindowTest, public ::testing::WithParamInterface<StartCase> {};

// The camera comes up in its fixed order and the camera timer drives the frames until Quit; a
// step that fails shows its alert and the program ends with status 1, without a camera timer.
TEST_P(StartUp, BringsTheCameraUpInOrderOrShowsTheStepThatFailed) {
    const StartCase& row = GetParam();
    if (row.fail) testcam::camera().*row.fail = true;
    QTimer* timer = nullptr;
    const int status = launch([&] {
        timer = view->findChild<QTimer*>("cameraTimer");
        EXPECT_TRUE(testcam::wait_until([&] { return view->picturesDrawn() >= 3; }));
        ui->actionQuit->trigger();
    });
    std::vector<std::string> calls = testcam::camera().calls;
    const size_t idles = std::erase(calls, std::string("camera_idle"));
    EXPECT_EQ(calls, row.calls);
    if (row.fail) {
        EXPECT_EQ(status, 1);
        EXPECT_EQ(idles, 0u);
        EXPECT_EQ(view->findChild<QTimer*>("cameraTimer"), nullptr);
        ASSERT_EQ(testcam::camera().alerts.size(), 1u);
        const testcam::Alert& a = testcam::camera().alerts[0];
        EXPECT_EQ(a.title + "|" + a.text + "|" + a.button, "Error in Wobblescope|" + row.alert + "|OK");
        return;
    }
    EXPECT_EQ(status, 0);
    EXPECT_GE(idles, 3u);
    EXPECT_TRUE(testcam::camera().timerRanAtStart);
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 33);
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
    EXPECT_EQ(pipeline.Width, 32);  // half size, drawn at the camera's size
    EXPECT_EQ(view->sizeHint(), QSize(64, 48));
    EXPECT_TRUE(testcam::camera().alerts.empty());
}

using testcam::Camera;
INSTANTIATE_TEST_SUITE_P(
    EachStep, StartUp,
    ::testing::Values(
        StartCase{"AllSucceed", nullptr, {"setup_camera", "install_grab_complete", "start_camera"}, ""},
        StartCase{"SetupCamera", &Camera::failSetup, {"setup_camera"},
                  "OpenDefaultComponent SeqGrabComponentType"},
        StartCase{"SetupCameraProcs", &Camera::failInstall,
                  {"setup_camera", "install_grab_complete"}, "SGSetVideoBottlenecks\nerror code = -50"},
        StartCase{"StartCamera", &Camera::failStart,
                  {"setup_camera", "install_grab_complete", "start_camera"},
                  "SGStartPreview\nerror code = -9405"}),
    [](const auto& info) { return std::string(info.param.name); });

long idle_calls() { return std::ranges::count(testcam::camera().calls, std::string("camera_idle")); }

std::function<void()> g_alertOpen;  // what the stand-in alert box does while it is open

// An alert raised inside a render pass holds the frame loop until it is answered, as a modal
// box's own event loop runs: the camera gets no idle time and the ring stays where it was.
TEST_F(WindowTest, FrameLoopWaitsWhileAnAlertIsShown) {
    uint8_t recording = 1;
    view->setRecordingHook(&recording, [&](const uint8_t*, int) {
        if (!recording) return true;
        recording = 0;
        error_msg("AddMediaSample for Video", -2014);
        return true;
    });
    long idleBefore = -1, idleAfter = -2;
    int ringBefore = -1, ringAfter = -2;
    g_alertOpen = [&] {
        idleBefore = idle_calls();
        ringBefore = pipeline.SFIndex;
        int ticks = 0;
        QObject::connect(view->findChild<QTimer*>("cameraTimer"), &QTimer::timeout, view,
                         [&] { ++ticks; });
        EXPECT_TRUE(testcam::wait_until([&] { return ticks >= 3; }));
        idleAfter = idle_calls();
        ringAfter = pipeline.SFIndex;
    };
    set_error_msg_backend(nullptr, [](const std::string&, const std::string&, const std::string&) {
        g_alertOpen();
    });
    const int status = launch([&] {
        EXPECT_TRUE(testcam::wait_until([&] { return !recording && view->picturesDrawn() >= 5; }));
        controller.window->close();
    });
    EXPECT_EQ(status, 0);
    EXPECT_GE(idleBefore, 1);
    EXPECT_EQ(idleAfter, idleBefore) << "the camera got idle time while the alert was open";
    EXPECT_EQ(ringAfter, ringBefore);
    EXPECT_FALSE(alert_is_shown());
}

class QuitBySignal : public WindowTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        controller.recording = &recording;
        WindowTest::SetUp();
        controller.window->show();
        startCamera(3);
    }
    RecordingState recording;
};

// SIGTERM, SIGINT and SIGHUP end the window as Quit does, with the recording finished as a movie.
TEST_P(QuitBySignal, FinishesTheRecordingAndQuitsWithTheSignalsStatus) {
    const int sig = GetParam();
    const QuitSignals handlers([this](int s) { controller.quitApplication(128 + s); });
    ASSERT_TRUE(handlers.ok());
    QTemporaryDir home;
    const std::string path = home.filePath("signal.mov").toStdString();
    ASSERT_TRUE(setup_recording(recording, pipeline, path));
    ui->recButton->setChecked(true);
    for (int i = 0; i < 4; ++i) {
        view->cameraTask();
        QImage target(view->size(), QImage::Format_RGB32);
        view->render(&target);
    }
    QTimer::singleShot(0, &controller, [sig] { std::raise(sig); });
    QTimer::singleShot(20000, &controller, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 128 + sig);
    EXPECT_EQ(recording.RecordingOn, 0);
    EXPECT_FALSE(ui->recButton->isChecked());
    EXPECT_GE(read_movie(path).durations.size(), 4u);
    EXPECT_TRUE(testcam::camera().alerts.empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, QuitBySignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

struct Invocation {
    const char* name;
    QStringList args;
    int status;
    const char* says;  // a part of what it prints
};
void PrintTo(const Invocation& i, std::ostream* os) { *os << i.name; }

class CommandLine : public ::testing::TestWithParam<Invocation> {};

TEST_P(CommandLine, EndsWithItsStatusAndSaysWhy) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(WOBBLESCOPE_BIN, GetParam().args);
    ASSERT_TRUE(p.waitForFinished(120000));
    const QByteArray out = p.readAll();
    EXPECT_EQ(p.exitCode(), GetParam().status) << out.toStdString();
    EXPECT_TRUE(out.contains(GetParam().says)) << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLine,
    ::testing::Values(Invocation{"Help", {"--help"}, 0, "--camera SOURCE"},
                      Invocation{"Version", {"--version"}, 0, "wobblescope "},
                      Invocation{"ListCameras", {"--list-cameras"}, 0, "demo"},
                      Invocation{"Unknown", {"--frobnicate"}, 2, "unknown argument '--frobnicate'"},
                      Invocation{"CameraWithoutSource", {"--camera"}, 2, "--camera wants a camera source"},
                      Invocation{"RenderHelp", {"render", "--help"}, 0, "wobblescope render"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
