// SPDX-License-Identifier: MIT
// The record button, its save sheet and the end of a recording at quit.
#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QSettings>
#include <QTimer>
#include <string>

#include "Controller.h"
#include "MyMovieView.h"
#include "av_movie.h"
#include "error_msg.h"
#include "interface_file.h"
#include "recording.h"
#include "ui_MainWindow.h"
#include "ui_RecordingOptions.h"

namespace {

constexpr const char* kSaveDirectoryKey = "MovieFileSaveDirectory";
constexpr const char* kMovieName = "WobbleMovie";  // not translated
constexpr const char* kMovieSuffix = "mov";        // not translated

// The recording's failure texts (the failing step, then the cause and where the pictures are
// kept), listed so that lupdate carries them into the catalogue.
[[maybe_unused]] const char* const kKeys[] = {
    QT_TRANSLATE_NOOP("error_msg", "Cannot create new file"),
    QT_TRANSLATE_NOOP("error_msg", "FSPathMakeRef"),
    QT_TRANSLATE_NOOP("error_msg", "FSGetCatalogInfo"),
    QT_TRANSLATE_NOOP("error_msg", "CreateMovieFile"),
    QT_TRANSLATE_NOOP("error_msg", "NewMovieTrack for Video"),
    QT_TRANSLATE_NOOP("error_msg", "NewTrackMedia for Video"),
    QT_TRANSLATE_NOOP("error_msg", "BeginMediaEdits for Video"),
    QT_TRANSLATE_NOOP("error_msg", "SCCompressSequenceBegin"),
    QT_TRANSLATE_NOOP("error_msg", "SCCompressSequenceFrame"),
    QT_TRANSLATE_NOOP("error_msg", "AddMediaSample for Video"),
    QT_TRANSLATE_NOOP("error_msg", "SCCompressSequenceEnd for Video"),
    QT_TRANSLATE_NOOP("error_msg", "EndMediaEdits for Video"),
    QT_TRANSLATE_NOOP("error_msg", "InsertMediaIntoTrack for Video"),
    QT_TRANSLATE_NOOP("error_msg", "AddMovieResource"),
    QT_TRANSLATE_NOOP("error_msg", "CloseMovieFile"),
    QT_TRANSLATE_NOOP("error_msg", "The disk is full."),
    QT_TRANSLATE_NOOP("error_msg", "The disk quota is used up."),
    QT_TRANSLATE_NOOP("error_msg", "The movie file has reached the largest size allowed."),
    QT_TRANSLATE_NOOP("error_msg", "The folder of the movie was removed."),
    QT_TRANSLATE_NOOP("error_msg", "The disk is read-only."),
    QT_TRANSLATE_NOOP("error_msg", "The movie's folder may not be written."),
    QT_TRANSLATE_NOOP("error_msg", "The memory is used up."),
    QT_TRANSLATE_NOOP("error_msg", "The disk could not be written."),
    QT_TRANSLATE_NOOP("error_msg", "Writing the movie failed: %1."),
    QT_TRANSLATE_NOOP("error_msg", "The recording was stopped; no picture could be kept."),
    QT_TRANSLATE_NOOP("error_msg", "No picture of the recording could be kept."),
    QT_TRANSLATE_NOOP("error_msg",
                      "The recording was stopped; the picture recorded so far is in %2."),
    QT_TRANSLATE_NOOP("error_msg", "The picture recorded is in %2."),
    QT_TRANSLATE_NOOP("error_msg",
                      "The recording was stopped; the %1 pictures recorded so far are in %2."),
    QT_TRANSLATE_NOOP("error_msg", "The %1 pictures recorded are in %2."),
    QT_TRANSLATE_NOOP("error_msg",
                      "The compressor refused the picture; another compressor (File > "
                      "Compression Settings) may take it."),
    QT_TRANSLATE_NOOP("error_msg", "setup_rec_frame_pixmap"),
    QT_TRANSLATE_NOOP("error_msg", "OpenDefaultComponent"),
    QT_TRANSLATE_NOOP("error_msg", "SCDefaultPixMapSettings"),
    QT_TRANSLATE_NOOP("error_msg", "SCSetInfo scSpatialSettingsType in create_video_compressor"),
    QT_TRANSLATE_NOOP("error_msg", "SCSetInfo scTemporalSettingsType in create_video_compressor"),
    QT_TRANSLATE_NOOP("error_msg", "SCNewGWorld"),
    QT_TRANSLATE_NOOP("error_msg", "SCSetTestImagePixMap"),
    QT_TRANSLATE_NOOP("error_msg", "SCRequestImageSettings"),
    QT_TRANSLATE_NOOP("error_msg", "SCGetInfo for spatial settings"),
};

// The directory the sheet opens in: the remembered one while it exists, else home.
QString save_directory() {
    const QVariant stored = QSettings().value(kSaveDirectoryKey);
    const QString dir = stored.typeId() == QMetaType::QString ? stored.toString() : QString();
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) return QDir::homePath();
    return dir;
}

// The sheet's accessory view: which compressor the movie will be written with. Nothing in it
// is read back.
void add_recording_options(QFileDialog* panel, uint32_t codecType) {
    auto* options = new QWidget(panel);
    Ui::RecordingOptions form;
    form.setupUi(options);
    const CodecInfo* info = find_codec_info(codecType);
    form.compressorName->setText(info ? QCoreApplication::translate("CompressionDialog", info->name)
                                      : QString());
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout()))
        grid->addWidget(options, grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

void Controller::awakeRecording() {
    recButton = ui->recButton;
    if (!recording) {
        recButton->setEnabled(false);
        return;
    }
    myMovieView->recordingState = recording;
    myMovieView->setRecordingHook(
        &recording->RecordingOn, [this](const uint8_t* data, int rowBytes) {
            return add_media_samples(*recording, *pipeline, data, rowBytes);
        });
    // A frame that failed has ended the recording; the alert waits until the view has painted.
    recording->recordingAborted = [this](const char* message, int16_t code) {
        recButton->setChecked(false);
        QTimer::singleShot(0, this,
                           [text = std::string(message), code] { error_msg(text.c_str(), code); });
    };
    connect(this, &Controller::willTerminate, this, &Controller::finishRecordingBeforeQuit);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &Controller::finishRecordingBeforeQuit);

    // The compression settings, in the File menu unless the interface file has them already.
    bool present = false;
    for (QAction* a : window->findChildren<QAction*>())
        present = present || a->property("action").toString() == QLatin1String("compressMethod");
    if (!present) {
        auto* item = new QAction(tr("Compression Settings..."), window);
        item->setObjectName(QStringLiteral("compressMethodMenuItem"));
        item->setProperty("action", QStringLiteral("compressMethod"));
        item->setProperty("target", QStringLiteral("view"));
        ui->menuFile->insertAction(ui->menuFile->actions().value(0), item);
        ui->menuFile->insertSeparator(ui->menuFile->actions().value(1));
        connect_action(item, myMovieView);
    }
}

void Controller::clickRecButton(QObject* sender) {
    auto* button = qobject_cast<QAbstractButton*>(sender);
    if (!recording) return;
    if (!button || !button->isChecked()) {
        finish_recording(*recording);
        return;
    }
    auto* panel = new QFileDialog(window);
    panel->setObjectName(QStringLiteral("savePanel"));
    panel->setOption(QFileDialog::DontUseNativeDialog);  // the labels below exist only here
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setDefaultSuffix(QLatin1String(kMovieSuffix));
    panel->setNameFilter(tr("QuickTime Movie (*.mov)"));
    panel->setWindowTitle(tr("Movie Recording"));
    panel->setLabelText(QFileDialog::FileName, tr("Filename: "));
    panel->setLabelText(QFileDialog::Accept, tr("Start"));
    panel->setDirectory(save_directory());
    panel->selectFile(QLatin1String(kMovieName));
    add_recording_options(panel, recording->RecCodecType);
    panel->setWindowModality(Qt::WindowModal);
    connect(panel, &QDialog::finished, this, [this, panel](int result) {
        savePanelDidEnd(panel, result, nullptr);
        panel->deleteLater();
    });
    savePanel = panel;
    panel->open();
}

void Controller::savePanelDidEnd(QFileDialog* panel, int returnCode, void*) {
    savePanel = nullptr;
    const QString chosen = panel->selectedFiles().value(0);
    if (returnCode != QDialog::Accepted || chosen.isEmpty()) {
        recButton->setChecked(false);
        return;
    }
    // The movie's file type is required: a name typed with another ending gets ".mov" added.
    QString path = chosen;
    if (QFileInfo(path).suffix().compare(QLatin1String(kMovieSuffix), Qt::CaseInsensitive) != 0)
        path += QLatin1Char('.') + QLatin1String(kMovieSuffix);
    if (!setup_recording(*recording, *pipeline, QFile::encodeName(path).toStdString()))
        recButton->setChecked(false);
    QSettings().setValue(kSaveDirectoryKey, QFileInfo(path).absolutePath());
}

void Controller::finishRecordingBeforeQuit() {
    if (!recording || !recording->RecordingOn) return;
    finish_recording(*recording);
    if (recButton) recButton->setChecked(false);
}
