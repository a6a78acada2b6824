// SPDX-License-Identifier: MIT
// The Camera menu, the camera chosen at start-up, and a camera that goes away and comes back.
#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>

#include "Controller.h"
#include "MyMovieView.h"
#include "error_alert.h"
#include "recording.h"

namespace {

constexpr const char* kCameraKey = "camera";  // QSettings: the source chosen last in the menu
constexpr const char* kDemoSource = "demo";
constexpr auto kLinkInterval = std::chrono::milliseconds(250);  // how often the link is looked at

QString source_of(const CaptureState* c) {
    return c ? QString::fromStdString(c->cameraSource) : QString();
}

}  // namespace

void Controller::awakeFromNibCamera() {
    cameraMenu = new QMenu(tr("&Camera"), window);
    cameraMenu->setObjectName(QStringLiteral("cameraMenu"));
    window->menuBar()->addMenu(cameraMenu);
    cameraItems = new QActionGroup(cameraMenu);
    cameraItems->setExclusive(true);
    connect(cameraMenu, &QMenu::aboutToShow, this, &Controller::rebuildCameraMenu);
    watchCameraDevices();

    auto* link = new QTimer(this);
    link->setObjectName(QStringLiteral("cameraLinkTimer"));
    link->setInterval(kLinkInterval);
    connect(link, &QTimer::timeout, this, &Controller::followCameraLink);
    link->start();
}

void Controller::watchCameraDevices() {
    delete deviceNotifier;
    deviceNotifier = nullptr;
    deviceWatch = std::make_unique<DeviceWatch>(cameraDeviceDir.toStdString());
    if (deviceWatch->fd() >= 0) {
        deviceNotifier = new QSocketNotifier(deviceWatch->fd(), QSocketNotifier::Read, this);
        connect(deviceNotifier, &QSocketNotifier::activated, this, [this] {
            if (deviceWatch->changed()) rebuildCameraMenu();
        });
    }
    rebuildCameraMenu();
}

void Controller::rebuildCameraMenu() {
    if (!cameraMenu) return;
    cameraMenu->clear();
    for (QAction* a : cameraItems->actions()) cameraItems->removeAction(a);
    const QString current = source_of(capture);
    // A camera cannot change under a recording: the movie keeps one picture size.
    const bool canSwitch = !(recording && recording->RecordingOn);
    bool marked = false;
    auto add = [&](const QString& text, const QString& source) {
        QAction* item = cameraMenu->addAction(text);
        item->setCheckable(true);
        item->setChecked(source == current);
        item->setEnabled(canSwitch);
        item->setProperty("source", source);
        cameraItems->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { chooseCamera(item); });
        marked = marked || source == current;
    };
    for (const V4l2Device& d : list_v4l2_devices(cameraDeviceDir.toStdString(), cameraProbe)) {
        const QString path = QString::fromStdString(d.path);
        add(QStringLiteral("%1 (%2)").arg(QString::fromStdString(d.card), path),
            path.startsWith(QLatin1String("/dev/")) ? path : QStringLiteral("v4l2:") + path);
    }
    add(tr("Demo Scene"), QString::fromLatin1(kDemoSource));
    // A video file or a filter graph in use is listed by its name.
    if (!marked && !current.isEmpty()) add(QFileInfo(current).fileName(), current);
    cameraMenu->addSeparator();
    QAction* open = cameraMenu->addAction(tr("Open Video File..."));
    open->setEnabled(canSwitch);
    connect(open, &QAction::triggered, this, [this, open] { openVideoFile(open); });
}

bool Controller::setupCameraOrDemo() {
    const CameraProcs& camera = myMovieView->cameraProcs;
    // A camera asked for on the command line quits when it fails; any other offers the demo.
    const bool asked = !capture->cameraSource.empty();
    if (!asked) {
        capture->cameraSource = QSettings().value(kCameraKey).toString().toStdString();
        offer_alert_choice({tr("Use Demo Scene"), tr("Quit")});
    }
    bool ok = camera.setup_camera(*pipeline, *capture);
    const int choice = asked ? -1 : alert_choice();
    offer_alert_choice({});
    if (!ok && choice == 0) {
        capture->cameraSource = kDemoSource;
        ok = camera.setup_camera(*pipeline, *capture);
    }
    rebuildCameraMenu();
    return ok;
}

bool Controller::switchCamera(const QString& source) {
    if (recording && recording->RecordingOn) return false;
    const OutputBitmap& shown = *pipeline->bitmap;
    const QSizeF displaySize(shown.displayWidth, shown.displayHeight);
    const bool ok = switch_camera(*pipeline, *capture, source.toStdString(),
                                  myMovieView->viewState()->currentSize);
    if (ok) {
        QSettings().setValue(kCameraKey, source);
        myMovieView->viewState()->timeFrames = 0;  // the readout starts afresh
        if (fullScrWindow) {
            myMovieView->setImageSize(displaySize);  // full screen keeps its size
        } else {
            myMovieView->updateGeometry();
            window->adjustSize();
        }
        followCameraLink();
    }
    rebuildCameraMenu();
    return ok;
}

void Controller::chooseCamera(QObject* sender) {
    const QString source = sender->property("source").toString();
    if (source != source_of(capture)) switchCamera(source);
    rebuildCameraMenu();
}

void Controller::openVideoFile(QObject*) {
    const QString path = QFileDialog::getOpenFileName(
        window, tr("Open Video File"), QString(),
        tr("Videos (*.mp4 *.mov *.mkv *.avi *.webm *.nut *.ts);;All Files (*)"), nullptr,
        QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty()) switchCamera(path);
}

void Controller::followCameraLink() {
    const bool lost = capture && capture->cameraLost;
    if (lost == cameraShownLost) return;
    cameraShownLost = lost;
    myMovieView->setProperty("cameraLost", lost);
    if (lost && myMovieView->fpsText) myMovieView->fpsText->setText(QStringLiteral("\u2014"));
    if (!lost) myMovieView->viewState()->timeFrames = 0;  // the gap is not a frame interval
    myMovieView->update();
}
