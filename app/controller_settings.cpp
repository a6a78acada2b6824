// SPDX-License-Identifier: MIT
// The settings a user gets back at the next start: put in place before the window shows (effect,
// Normal, mirror, Full Size, countdown), after the camera is up (window geometry, the compressor),
// and written when the program ends. The camera (Camera menu) and the virtual camera keep their
// own keys up to date.
#include <QAction>
#include <QMainWindow>
#include <QSettings>

#include "Controller.h"
#include "MyMovieView.h"
#include "QTMovie.h"
#include "av_movie.h"
#include "effect_matrix.h"
#include "interface_file.h"
#include "pipeline_state.h"
#include "recording.h"
#include "ui_MainWindow.h"

void Controller::awakeSettings() {
    storedSettings = read_settings(QSettings());
    const StoredSettings& s = storedSettings;
    myMovieView->deformMode->selectCellAtRow(s.effect / 3, s.effect % 3);
    myMovieView->normalSwitch->setChecked(s.normal);
    myMovieView->normalMenuItem->setChecked(s.normal);
    myMovieView->deformMode->setEnabled(!s.normal);
    myMovieView->viewState()->mirrorMode = s.mirror;
    myMovieView->sizeSwitch->setChecked(s.fullSize);
    ui->actionSnapshotCountdown->setChecked(s.snapshotCountdown);
    validate_menu_items(*this);
    connect(this, &Controller::willTerminate, this, &Controller::saveSettings);
}

void Controller::restoreLaunchSettings() {
    const StoredSettings& s = storedSettings;
    if (s.windowGeometry.isEmpty() || !window->restoreGeometry(s.windowGeometry)) {
        fitWindowToCamera();
    }
    if (!s.hasCompression || !recording || !pipeline || recording->RecVideoCI) return;
    if (!codec_available(s.codecType)) return;  // this build lacks it: the default stays
    recording->RecCodecType = s.codecType;
    if (!create_video_compressor(*recording, *pipeline)) return;
    SCSpatialSettings spatial;
    SCTemporalSettings temporal;
    recording->RecVideoCI->getInfo(spatial);
    recording->RecVideoCI->getInfo(temporal);
    spatial.codecType = s.codecType;
    spatial.spatialQuality = s.spatialQuality;
    temporal.keyFrameRate = s.keyFrameRate;
    recording->RecVideoCI->setInfo(spatial);
    recording->RecVideoCI->setInfo(temporal);
}

void Controller::saveSettings() {
    StoredSettings& s = storedSettings;
    const EffectMatrix* matrix = myMovieView->deformMode;
    if (matrix->selectedRow() >= 0) s.effect = matrix->selectedRow() * 3 + matrix->selectedColumn();
    s.normal = myMovieView->normalSwitch->isChecked();
    s.mirror = myMovieView->viewState()->mirrorMode != 0;
    s.fullSize = myMovieView->sizeSwitch->isChecked();
    if (capture) s.maxHeight = capture->maxHeight;
    s.snapshotCountdown = ui->actionSnapshotCountdown->isChecked();
    if (recording && recording->RecVideoCI) {
        SCSpatialSettings spatial;
        SCTemporalSettings temporal;
        recording->RecVideoCI->getInfo(spatial);
        recording->RecVideoCI->getInfo(temporal);
        s.hasCompression = true;
        s.codecType = spatial.codecType;
        s.spatialQuality = spatial.spatialQuality;
        s.keyFrameRate = temporal.keyFrameRate;
    }
    // Full screen is left before this runs (willTerminate), so the main window's own geometry.
    s.windowGeometry = window->saveGeometry();
    QSettings settings;
    // The Camera menu and the virtual camera write their own keys whenever they are switched;
    // those values stand.
    const StoredSettings current = read_settings(settings);
    s.camera = current.camera;
    s.virtualCamera = current.virtualCamera;
    write_settings(settings, s);
}
