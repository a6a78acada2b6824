// SPDX-License-Identifier: MIT
// SIGTERM, SIGINT and SIGHUP end the real window as Quit does: the recording finished as a
// standard movie, full screen left and the display's mode restored.
#include "signal_quit.h"

#include <QImage>
#include <QTemporaryDir>
#include <csignal>

#include "movie_reader.h"
#include "recording.h"
#include "window_fixture.h"

namespace {

// A display-mode service that only notes what it was asked.
class NotedModes : public DisplayModes {
public:
    explicit NotedModes(std::vector<std::string>* log) : log(log) {}
    ModeSwitch switchToMode(const DisplayBounds& display, int width, int height) override {
        log->push_back("switch");
        return ModeSwitch{0, DisplayBounds{display.x, display.y, width, height}};
    }
    void restore() override { log->push_back("restore"); }
    std::vector<std::string>* log;
};

class QuitBySignal : public WindowTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        controller.recording = &recording;
        WindowTest::SetUp();
        controller.window->show();
        startCamera(3);
    }
    void frame() {
        view->cameraTask();
        QImage target(view->size(), QImage::Format_RGB32);
        view->render(&target);
    }

    QTemporaryDir home;
    RecordingState recording;
    std::vector<std::string> log;
};

}  // namespace

TEST_P(QuitBySignal, FinishesTheRecordingLeavesFullScreenAndQuits) {
    const int sig = GetParam();
    const QuitSignals handlers([this](int s) { controller.quitApplication(128 + s); });
    ASSERT_TRUE(handlers.ok());
    const std::string path = home.filePath("signal.mov").toStdString();
    ASSERT_TRUE(setup_recording(recording, pipeline, path));
    ui->recButton->setChecked(true);
    for (int i = 0; i < 4; ++i) frame();
    controller.displayModes = std::make_unique<NotedModes>(&log);
    controller.displayModesProbed = true;
    controller.firstTime = false;  // no hint
    controller.beginFullScreen(nullptr);
    ASSERT_NE(controller.fullScrWindow, nullptr);

    QTimer::singleShot(0, [sig] { std::raise(sig); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(20000);
    EXPECT_EQ(QCoreApplication::exec(), 128 + sig);

    EXPECT_EQ(recording.RecordingOn, 0);
    EXPECT_FALSE(ui->recButton->isChecked());
    EXPECT_EQ(controller.fullScrWindow, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"switch", "restore"}));
    // The four pictures drawn before, and any the event loop drew before the signal came.
    const MovieInfo m = read_movie(path);
    EXPECT_EQ(m.title, "screenMovie");
    EXPECT_GE(m.durations.size(), 4u);
    std::string error;
    EXPECT_EQ(decode_movie(path, error), static_cast<int>(m.durations.size())) << error;
    EXPECT_TRUE(testcam::camera().alerts.empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, QuitBySignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) {
                             return std::string(info.param == SIGTERM  ? "Sigterm"
                                                : info.param == SIGINT ? "Sigint"
                                                                       : "Sighup");
                         });
