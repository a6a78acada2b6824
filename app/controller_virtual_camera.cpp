// SPDX-License-Identifier: MIT
// The virtual camera in the window: View > Virtual Camera, remembered between runs, and a small
// indicator while another program takes the pictures. The frame loop only hands pictures over;
// a camera that cannot take one drops it.
#include <QAction>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QSettings>
#include <cstdio>

#include "Controller.h"
#include "MyMovieView.h"
#include "pipeline_state.h"
#include "ui_MainWindow.h"

namespace {

constexpr const char* kVirtualCameraKey = "virtualCamera";
constexpr int kWindowRate = 30;  // pictures per second the node announces: the camera timer's

QString vc_tr(const char* text) {
    return QCoreApplication::translate("VirtualCamera", text);
}

// The stored state; anything but a clear yes or no counts as off.
bool stored_on() {
    const QVariant v = QSettings().value(QLatin1String(kVirtualCameraKey));
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    const QString text = v.toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

void say(const std::string& text) {
    std::fprintf(stderr, "wobblescope: %s\n", text.c_str());
}

// The box layout that holds `w` directly, or null.
QBoxLayout* layout_holding(QWidget* w) {
    if (!w || !w->parentWidget()) return nullptr;
    for (QBoxLayout* l : w->parentWidget()->findChildren<QBoxLayout*>())
        if (l->indexOf(w) >= 0) return l;
    return nullptr;
}

}  // namespace

void Controller::awakeVirtualCamera() {
    virtualCameraTarget = parse_camera_target(virtualCameraArgument ? *virtualCameraArgument : "");
    virtualCameraMenuItem = new QAction(vc_tr("Virtual Camera"), window);
    virtualCameraMenuItem->setObjectName(QStringLiteral("actionVirtualCamera"));
    virtualCameraMenuItem->setCheckable(true);
    virtualCameraMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    window->addAction(virtualCameraMenuItem);
    if (ui && ui->menuView) {
        ui->menuView->addSeparator();
        ui->menuView->addAction(virtualCameraMenuItem);
        ui->menuView->setToolTipsVisible(true);
    }
    connect(virtualCameraMenuItem, &QAction::triggered, this,
            [this] { switchVirtualCamera(virtualCameraMenuItem); });

    virtualCameraIndicator = new QLabel(QStringLiteral("\u25CF ") + vc_tr("Virtual camera"));
    virtualCameraIndicator->setObjectName(QStringLiteral("virtualCameraIndicator"));
    virtualCameraIndicator->setStyleSheet(QStringLiteral("color: #d02020"));
    virtualCameraIndicator->setToolTip(vc_tr("Another program is showing the virtual camera"));
    virtualCameraIndicator->hide();
    if (QBoxLayout* bar = layout_holding(ui ? ui->fpsText : nullptr))
        bar->insertWidget(bar->indexOf(ui->fpsText), virtualCameraIndicator);
    else
        virtualCameraIndicator->setParent(window);

    myMovieView->pictureShown = [this](const OutputBitmap& bm) { feedVirtualCamera(bm); };

    const bool wanted = virtualCameraArgument != nullptr || stored_on();
    std::string why;
    if (!virtualCameraTarget.v4l2 && !pipewire_reachable(why)) {
        virtualCameraMenuItem->setEnabled(false);
        virtualCameraMenuItem->setToolTip(
            vc_tr("No PipeWire daemon is reachable, so there is no virtual camera."));
        if (wanted) say(why + ": the virtual camera is off");
        return;
    }
    virtualCameraMenuItem->setToolTip(
        virtualCameraTarget.v4l2
            ? vc_tr("Writes the picture to %1")
                  .arg(QString::fromStdString(virtualCameraTarget.name))
            : vc_tr("Offers the picture as the camera \"Wobblescope\" to other programs"));
    virtualCameraOn = wanted;
    virtualCameraMenuItem->setChecked(wanted);
}

void Controller::switchVirtualCamera(QObject*) {
    if (!virtualCameraMenuItem || !virtualCameraMenuItem->isEnabled()) return;
    const bool on = !virtualCameraOn;
    if (on) {
        virtualCameraOn = true;
    } else {
        stopVirtualCamera("");
    }
    virtualCameraMenuItem->setChecked(on);
    QSettings().setValue(QLatin1String(kVirtualCameraKey), on);
}

void Controller::stopVirtualCamera(const std::string& why) {
    virtualCamera.reset();
    virtualCameraOn = false;
    if (virtualCameraMenuItem) virtualCameraMenuItem->setChecked(false);
    if (virtualCameraIndicator) virtualCameraIndicator->hide();
    if (why.empty()) return;
    say(why + ": the virtual camera is off");
    if (virtualCameraMenuItem) virtualCameraMenuItem->setToolTip(QString::fromStdString(why));
}

void Controller::feedVirtualCamera(const OutputBitmap& bm) {
    if (!virtualCameraOn) return;
    if (!virtualCamera) {
        // Opened with the first picture, when the camera size is known; the size stays.
        const int w = pipeline->LargeWidth, h = pipeline->LargeHeight;
        std::string error;
        virtualCamera =
            virtualCameraTarget.v4l2
                ? open_v4l2_camera(virtualCameraTarget.name, w, h, error)
                : open_pipewire_camera(virtualCameraTarget.name, w, h, kWindowRate, error);
        if (!virtualCamera) return stopVirtualCamera(error);
    }
    if (const std::string failure = virtualCamera->failure(); !failure.empty())
        return stopVirtualCamera(failure);
    virtualCamera->feed(bm.data, bm.rowBytes, bm.width, bm.height);
    const bool watched = virtualCamera->consumerConnected();
    if (watched == virtualCameraIndicator->isHidden()) virtualCameraIndicator->setVisible(watched);
}
