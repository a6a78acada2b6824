// SPDX-License-Identifier: MIT
// Snapshots: the picture as shown, to a PNG file in the user's pictures folder, after an optional
// three-second countdown over the picture, with a flash; the path goes to the status bar.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMainWindow>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>

#include "Controller.h"
#include "MyMovieView.h"
#include "snapshot_file.h"
#include "ui_MainWindow.h"

namespace {

constexpr int kCountdownSeconds = 3;
constexpr int kStatusMs = 10000;  // how long the saved path stays in the status bar

}  // namespace

QString snapshot_file_name(const QDateTime& when) {
    return QStringLiteral("Wobblescope %1.png")
        .arg(when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")));
}

QString snapshot_path(const QString& folder, const QDateTime& when) {
    const QString name = snapshot_file_name(when);
    QString path = QDir(folder).filePath(name);
    for (int n = 2; QFileInfo::exists(path); ++n) {
        QString numbered = name;
        numbered.insert(name.size() - 4, QStringLiteral(" %1").arg(n));
        path = QDir(folder).filePath(numbered);
    }
    return path;
}

void Controller::savePicture(QObject*) {
    if (countdownTimer) return;  // one countdown at a time
    if (!ui->actionSnapshotCountdown->isChecked()) {
        takePicture();
        return;
    }
    countdownLeft = kCountdownSeconds;
    myMovieView->setOverlayText(QString::number(countdownLeft));
    countdownTimer = new QTimer(this);
    countdownTimer->setObjectName(QStringLiteral("countdownTimer"));
    connect(countdownTimer, &QTimer::timeout, this, [this] {
        if (--countdownLeft > 0) {
            myMovieView->setOverlayText(QString::number(countdownLeft));
            return;
        }
        countdownTimer->deleteLater();
        countdownTimer = nullptr;
        myMovieView->setOverlayText(QString());
        takePicture();
    });
    countdownTimer->start(1000);
}

void Controller::switchSnapshotCountdown(QObject* sender) {
    if (auto* item = qobject_cast<QAction*>(sender)) item->setChecked(!item->isChecked());
}

bool Controller::takePicture() {
    const QImage picture = myMovieView->shownPicture();
    if (picture.isNull()) {
        window->statusBar()->showMessage(tr("There is no picture to save yet."), kStatusMs);
        return false;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString path = snapshot_path(folder, QDateTime::currentDateTime());
    if (!QDir().mkpath(folder) || !picture.save(path, "PNG")) {
        window->statusBar()->showMessage(
            tr("The picture could not be saved to %1.").arg(QDir::toNativeSeparators(folder)),
            kStatusMs);
        return false;
    }
    lastPicturePath = path;
    myMovieView->flash();
    window->statusBar()->showMessage(tr("Picture saved to %1").arg(QDir::toNativeSeparators(path)),
                                     kStatusMs);
    return true;
}
