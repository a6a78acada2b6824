// SPDX-License-Identifier: MIT
#include "Controller.h"
#include "row_pool.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include "MyMovieView.h"
#include "QTMovie.h"
#include "pipeline_state.h"
#include "ui_MainWindow.h"

namespace {

constexpr auto kCameraInterval = std::chrono::milliseconds(33);  // 1/30 s in whole ms, rounded
                                                                  // down so no frame waits a tick

}  // namespace

Controller::Controller(QObject* parent) : QObject(parent) {}

Controller::~Controller() { delete window; }

void Controller::setWindowDelegate(QWidget* w) { w->installEventFilter(this); }

void Controller::quitApplication(int status) {
    emit willTerminate(status);
    QCoreApplication::exit(status);
}

void Controller::terminate(QObject*) { quitApplication(0); }

void Controller::applicationDidFinishLaunching() {
    const CameraProcs& camera = myMovieView->cameraProcs;
    if (!setupCameraOrDemo()) return quitApplication(1);
    if (!myMovieView->setupCameraProcs()) {
        // A remembered resolution whose blocks cannot be had: the camera once more at 480 lines.
        if (capture->maxHeight == kMaxCameraHeight) return quitApplication(1);
        close_camera(*capture);
        capture->maxHeight = kMaxCameraHeight;
        markResolution();
        if (!setupCameraOrDemo() || !myMovieView->setupCameraProcs()) return quitApplication(1);
    }

    auto* timer = new QTimer(myMovieView);
    timer->setObjectName(QStringLiteral("cameraTimer"));
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(kCameraInterval);
    connect(timer, &QTimer::timeout, myMovieView, &MyMovieView::cameraTask);
    timer->start();

    if (!camera.start_camera(*capture)) {
        // The event loop ends at once; no tick may reach a camera that did not start.
        delete timer;
        return quitApplication(1);
    }
    restoreLaunchSettings();
}

void Controller::windowWillClose(QObject* closingWindow) {
    if (closingWindow == window) quitApplication(0);
}

bool Controller::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched->isWidgetType()) windowWillClose(watched);
    return QObject::eventFilter(watched, event);
}
