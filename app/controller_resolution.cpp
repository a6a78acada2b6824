// SPDX-License-Identifier: MIT
// The processing resolution: how many lines the camera picture keeps, chosen in the View menu,
// remembered between runs and applied while the camera runs; and the threads of the render pass.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSettings>

#include "Controller.h"
#include "MyMovieView.h"
#include "QTMovie.h"
#include "pipeline_state.h"
#include "recording.h"
#include "row_pool.h"
#include "ui_MainWindow.h"

void Controller::awakeRenderThreads() {
    rowPool = std::make_unique<RowPool>(default_thread_count());
    if (pipeline) pipeline->pool = rowPool.get();
}

void Controller::awakeResolution() {
    resolutionItems = new QActionGroup(this);
    resolutionItems->setExclusive(true);
    for (QAction* item : {ui->actionResolution480, ui->actionResolution720,
                          ui->actionResolution1080, ui->actionResolutionNative})
        resolutionItems->addAction(item);
    if (capture) capture->maxHeight = storedSettings.maxHeight;
    markResolution();
    // The camera keeps its size while a movie is recorded: the movie keeps one picture size.
    connect(ui->menuView, &QMenu::aboutToShow, this, [this] {
        const bool canChange = !(recording && recording->RecordingOn);
        for (QAction* item : resolutionItems->actions()) item->setEnabled(canChange);
    });
}

void Controller::markResolution() {
    const int lines = capture ? capture->maxHeight : storedSettings.maxHeight;
    for (QAction* item : resolutionItems->actions())
        item->setChecked(item->property("lines").toInt() == lines);
}

void Controller::chooseResolution(QObject* sender) {
    const int lines = sender->property("lines").toInt();
    if (!capture || !pipeline || lines == capture->maxHeight ||
        (recording && recording->RecordingOn)) {
        markResolution();
        return;
    }
    const OutputBitmap& shown = *pipeline->bitmap;
    const QSizeF displaySize(shown.displayWidth, shown.displayHeight);
    const bool ok = change_camera_resolution(*pipeline, *capture, lines,
                                             myMovieView->viewState()->currentSize);
    markResolution();
    if (!ok) return;
    storedSettings.maxHeight = lines;
    QSettings().setValue(QLatin1String(settings_key::maxHeight), lines);
    myMovieView->viewState()->timeFrames = 0;  // the readout starts afresh
    if (fullScrWindow) {
        myMovieView->setImageSize(displaySize);  // full screen keeps its size
    } else {
        myMovieView->updateGeometry();
        fitWindowToCamera();
    }
    followCameraLink();
}
