// SPDX-License-Identifier: MIT
// The real main window on a stand-in camera (this machine has none): frames of a known pattern,
// delivered from the camera timer's idle call, with the alpha byte of every pixel chosen by the
// test. Alerts go to a spy; a real message box can be answered and read.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLayout>
#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>
#include <cstring>
#include <string>
#include <vector>

#include "Controller.h"
#include "MyMovieView.h"
#include "QTMovie.h"
#include "effect_matrix.h"
#include "error_msg.h"
#include "frame_history.h"
#include "interface_file.h"
#include "pipeline_state.h"
#include "render_pass.h"
#include "ui_MainWindow.h"

namespace testcam {

struct Alert {
    std::string title, text, button;
};

// What the stand-in camera did and will do. One camera per test.
struct Camera {
    int width = 64, height = 48;  // native frame size, pixels
    uint8_t alpha = 0xFF;         // alpha byte of every camera pixel
    int frame = 0;                // frames delivered
    std::vector<std::string> calls;
    std::vector<Alert> alerts;
    bool failSetup = false, failInstall = false, failStart = false;
    bool timerRanAtStart = false;  // the camera timer was running when start_camera came
};

inline Camera& camera() {
    static Camera c;
    return c;
}

// Channel c (0 red, 1 green, 2 blue) of pixel (x, y) of frame n.
inline uint8_t pattern(int n, int x, int y, int c) {
    return static_cast<uint8_t>(c == 0 ? x * 4 + n : c == 1 ? y * 5 + 3 : n * 7 + 40);
}

inline void spy_alert(const std::string& title, const std::string& text, const std::string& b) {
    camera().alerts.push_back({title, text, b});
}

// Records a call of the camera layer; one that is to fail reports as the real layer does.
inline bool called(const char* step, bool fails, const char* message, int16_t code) {
    camera().calls.push_back(step);
    if (fails) error_msg(message, code);
    return !fails;
}

inline bool setup(PipelineState& s, CaptureState& c) {
    const char* message = "OpenDefaultComponent SeqGrabComponentType";
    if (!called("setup_camera", camera().failSetup, message, 0)) return false;
    set_camera_geometry(s, camera().width, camera().height);
    c.srcBuffer =
        std::make_unique<uint8_t[]>(static_cast<size_t>(s.LargeSrcRowBytes) * s.LargeHeight);
    s.srcData = c.srcBuffer.get();
    return true;
}

inline bool install(CaptureState& c, FrameReceiver* view) {
    c.refCon = view;
    return called("install_grab_complete", camera().failInstall, "SGSetVideoBottlenecks", -50);
}

inline bool start(CaptureState& c) {
    auto* timer = static_cast<MyMovieView*>(c.refCon)->findChild<QTimer*>("cameraTimer");
    camera().timerRanAtStart = timer && timer->isActive();
    return called("start_camera", camera().failStart, "SGStartPreview", -9405);
}

// Draws frame n into the top-left Width x Height corner, as the camera does, and delivers it.
inline void idle(CaptureState& c) {
    camera().calls.push_back("camera_idle");
    auto* view = static_cast<MyMovieView*>(c.refCon);
    PipelineState& s = *view->pipelineState();
    const int n = camera().frame++;
    for (int y = 0; y < s.Height; ++y) {
        uint8_t* row = s.srcData + static_cast<size_t>(y) * s.LargeSrcRowBytes;
        for (int x = 0; x < s.Width; ++x) {
            row[4 * x] = camera().alpha;
            for (int ch = 0; ch < 3; ++ch) row[4 * x + 1 + ch] = pattern(n, x, y, ch);
        }
    }
    c.refCon->MyMovieDrawingCompleteMethod();
}

inline CameraProcs procs() {
    return {setup, install, start, idle};
}

// Processes events until done() holds; false when `ms` pass first.
template <class F>
bool wait_until(F done, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// What a modal message box showed: "title|text|button" (the button that answered it).
struct SeenBox {
    std::string text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowModality modality = Qt::NonModal;
};

// Runs `open`, which shows a modal message box, and answers the box with its default button (else
// its first); the text stays empty when no box opened.
template <class F>
SeenBox answer_box(F open) {
    SeenBox seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->buttons().isEmpty()) return;
        QAbstractButton* b = box->defaultButton() ? box->defaultButton() : box->buttons().first();
        seen = {(box->windowTitle() + "|" + box->text() + "|" + b->text()).toStdString(),
                box->icon(), box->windowModality()};
        b->click();
    });
    poll.start(5);
    open();
    return seen;
}

}  // namespace testcam

// Names the rows of a table (structs with a `name`) in test names.
struct RowName {
    template <class T>
    std::string operator()(const ::testing::TestParamInfo<T>& info) const {
        return info.param.name;
    }
};

// The main window loaded from MainWindow.ui, with the stand-in camera.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testcam::camera() = testcam::Camera{};
        set_error_msg_backend(nullptr, testcam::spy_alert);
        load_interface_file(controller, pipeline, viewState, capture);
        view = controller.myMovieView;
        ui = controller.ui.get();
        view->cameraProcs = testcam::procs();
    }
    void TearDown() override {
        controller.applicationWillTerminate();  // out of full screen, the view back home
        set_error_msg_backend(nullptr, nullptr);
        release_pipeline(pipeline);
    }

    // The launch as main runs it, with the camera brought up inside the event loop; returns
    // the loop's status. The run ends when `body` (run after launch) has quit or after 20 s.
    template <class F>
    int launch(F body) {
        controller.window->show();
        QTimer::singleShot(0, &controller, [&] {
            controller.applicationDidFinishLaunching();
            QTimer::singleShot(0, &controller, body);
        });
        return runLoop();
    }
    // Runs the event loop until the application quits (its status) or 20 s pass (99).
    static int runLoop() {
        QTimer guard;
        guard.callOnTimeout([] { QCoreApplication::exit(99); });
        guard.start(20000);
        return QCoreApplication::exec();
    }

    // Brings the camera up without an event loop and delivers `frames` frames.
    void startCamera(int frames) {
        ASSERT_TRUE(view->cameraProcs.setup_camera(pipeline, capture));
        ASSERT_TRUE(view->setupCameraProcs());
        for (int i = 0; i < frames; ++i) view->cameraTask();
    }

    PipelineState pipeline;
    ViewState viewState;
    CaptureState capture;
    Controller controller;
    MyMovieView* view = nullptr;
    Ui::MainWindow* ui = nullptr;
};
