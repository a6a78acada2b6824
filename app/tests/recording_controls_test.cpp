// SPDX-License-Identifier: MIT
// The record button, its save sheet and the recording's end, on the real main window with the
// stand-in camera; every movie is read back with libavformat.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>

#include "CompressionDialog.h"
#include "error_alert.h"
#include "file_size_cap.h"
#include "movie_reader.h"
#include "recording.h"
#include "window_fixture.h"

namespace {

class RecordingControlsTest : public WindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        oldHome = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           home.filePath("settings"));
        QSettings().clear();
        controller.recording = &recording;
        WindowTest::SetUp();
        controller.window->show();
        startCamera(3);
    }
    void TearDown() override {
        QSettings().clear();
        qputenv("HOME", oldHome);
        WindowTest::TearDown();
    }

    // One camera frame and one render pass.
    void frame() {
        view->cameraTask();
        QImage target(view->size(), QImage::Format_RGB32);
        view->render(&target);
    }

    // Clicks the record button on and returns the sheet it opened.
    QFileDialog* openSheet() {
        ui->recButton->click();
        return controller.savePanel;
    }

    // Accepts the sheet with `name` typed into its name field.
    static void acceptAs(QFileDialog* sheet, const QString& name) {
        sheet->findChild<QLineEdit*>("fileNameEdit")->setText(name);
        QMetaObject::invokeMethod(sheet, "accept");
    }

    // Starts a recording into `name` (relative to the sheet's directory or absolute).
    void startRecording(const QString& name) {
        QFileDialog* sheet = openSheet();
        ASSERT_NE(sheet, nullptr);
        acceptAs(sheet, name);
        ASSERT_EQ(recording.RecordingOn, 1);
    }

    QStringList alertTexts() const {
        QStringList out;
        for (const testcam::Alert& a : testcam::camera().alerts)
            out << QString::fromStdString(a.text);
        return out;
    }

    QTemporaryDir home;
    QByteArray oldHome;
    RecordingState recording;
};

}  // namespace

TEST_F(RecordingControlsTest, TheSheetOffersWobbleMovieAtHomeAndRemembersTheDirectory) {
    QFileDialog* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(ui->recButton->isChecked());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->parentWidget(), controller.window);
    EXPECT_EQ(sheet->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(sheet->windowTitle(), "Movie Recording");
    EXPECT_EQ(sheet->labelText(QFileDialog::FileName), "Filename: ");
    EXPECT_EQ(sheet->labelText(QFileDialog::Accept), "Start");
    EXPECT_EQ(QDir(sheet->directory()).canonicalPath(), QDir(home.path()).canonicalPath());
    EXPECT_EQ(sheet->findChild<QLineEdit*>("fileNameEdit")->text(), "WobbleMovie");
    ASSERT_NE(sheet->findChild<QWidget*>("recOptionView"), nullptr);
    EXPECT_EQ(sheet->findChild<QLabel*>("compressorName")->text(), "Photo-JPEG");

    const QString movies = home.filePath("movies");
    ASSERT_TRUE(QDir().mkpath(movies));
    acceptAs(sheet, movies + "/first");
    ASSERT_EQ(recording.RecordingOn, 1);
    EXPECT_TRUE(ui->recButton->isChecked());
    EXPECT_EQ(QSettings().value("MovieFileSaveDirectory").toString(), movies);
    for (int i = 0; i < 5; ++i) frame();
    ui->recButton->click();  // off
    EXPECT_FALSE(ui->recButton->isChecked());
    EXPECT_EQ(recording.RecordingOn, 0);
    const MovieInfo m = read_movie((movies + "/first.mov").toStdString());
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.durations.size(), 5u);
    EXPECT_EQ(m.width, pipeline.Width);
    EXPECT_EQ(m.title, "screenMovie");

    // The next sheet opens where the last movie went.
    sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(QDir(sheet->directory()).canonicalPath(), QDir(movies).canonicalPath());
    sheet->reject();
    EXPECT_TRUE(alertTexts().isEmpty());
}

TEST_F(RecordingControlsTest, CancellingLeavesNoRecordingNoFileAndTheButtonOff) {
    QFileDialog* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    sheet->reject();
    EXPECT_FALSE(ui->recButton->isChecked());
    EXPECT_EQ(recording.RecordingOn, 0);
    EXPECT_EQ(controller.savePanel, nullptr);
    frame();
    EXPECT_FALSE(QFileInfo::exists(home.filePath("WobbleMovie.mov")));
    EXPECT_FALSE(QSettings().contains("MovieFileSaveDirectory"));
    EXPECT_TRUE(alertTexts().isEmpty());
}

TEST_F(RecordingControlsTest, TheMovieExtensionIsEnforced) {
    startRecording("clip.avi");
    frame();
    ui->recButton->click();
    startRecording("plain");
    frame();
    ui->recButton->click();
    EXPECT_TRUE(QFileInfo::exists(home.filePath("plain.mov")));
    EXPECT_TRUE(QFileInfo::exists(home.filePath("clip.avi.mov")));
    EXPECT_FALSE(QFileInfo::exists(home.filePath("clip.avi")));
}

TEST_F(RecordingControlsTest, AnUnwritableDirectoryAlertsReleasesTheButtonAndIsRemembered) {
    QFileDialog* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    acceptAs(sheet, "/proc/WobbleMovie");
    EXPECT_EQ(alertTexts(), QStringList{"Cannot create new file"});
    EXPECT_FALSE(ui->recButton->isChecked());
    EXPECT_EQ(recording.RecordingOn, 0);
    EXPECT_EQ(QSettings().value("MovieFileSaveDirectory").toString(), "/proc");
}

TEST_F(RecordingControlsTest, AFailedFrameEndsTheRecordingWithOneAlertAndKeepsThePictures) {
    ASSERT_TRUE(set_compression_settings(recording, pipeline, kRawCodecType, codecLosslessQuality));
    int64_t nowMs = 0;
    recording.clock = [&nowMs] { return (nowMs += 40) * 1000; };
    startRecording("full");
    {
        const FileSizeCap cap(70000);  // room for two fragments of half a second
        for (int i = 0; i < 200 && recording.RecordingOn; ++i) frame();
    }

    EXPECT_EQ(recording.RecordingOn, 0);
    EXPECT_FALSE(ui->recButton->isChecked());
    // The alert comes once the view has painted, and only once, however many frames follow.
    ASSERT_TRUE(testcam::wait_until([&] { return !alertTexts().isEmpty(); }));
    for (int i = 0; i < 5; ++i) frame();
    QCoreApplication::processEvents();
    ASSERT_EQ(alertTexts().size(), 1);
    const QString alert = alertTexts()[0];
    EXPECT_TRUE(
        alert.startsWith("AddMediaSample for Video\nerror code = -27\nThe movie file has "
                         "reached the largest size allowed. The recording was stopped; "))
        << alert.toStdString();
    EXPECT_TRUE(alert.endsWith(" pictures recorded so far are in ~/full.mov."))
        << alert.toStdString();
    const QRegularExpressionMatch kept = QRegularExpression("the (\\d+) pictures").match(alert);
    ASSERT_TRUE(kept.hasMatch()) << alert.toStdString();
    std::string error;
    EXPECT_EQ(decode_movie(home.filePath("full.mov").toStdString(), error),
              kept.captured(1).toInt())
        << error;
    EXPECT_GE(kept.captured(1).toInt(), 24);
}

TEST_F(RecordingControlsTest, QuittingWhileRecordingFinishesTheMovie) {
    startRecording("quit");
    for (int i = 0; i < 4; ++i) frame();
    // The main window's close quits the application, inside its event loop as in the program.
    QTimer::singleShot(0, controller.window, [this] { controller.window->close(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(20000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(recording.RecordingOn, 0);
    EXPECT_FALSE(ui->recButton->isChecked());
    const MovieInfo m = read_movie(home.filePath("quit.mov").toStdString());
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.durations.size(), 4u);
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    std::string error;
    EXPECT_TRUE(decode_movie_frame(home.filePath("quit.mov").toStdString(), 3, rgb, w, h, error))
        << error;
    EXPECT_TRUE(alertTexts().isEmpty());
}

TEST_F(RecordingControlsTest, ASizeChangeWaitsForTheRecordingToEnd) {
    const int halfWidth = pipeline.Width;
    startRecording("size");
    frame();
    ui->sizeSwitch->click();  // full size asked for
    for (int i = 0; i < 4; ++i) frame();
    EXPECT_EQ(pipeline.Width, halfWidth);
    ui->recButton->click();
    const MovieInfo m = read_movie(home.filePath("size.mov").toStdString());
    EXPECT_EQ(m.width, halfWidth);
    EXPECT_EQ(m.durations.size(), 5u);
    frame();  // the first pass after the recording
    EXPECT_EQ(pipeline.Width, 2 * halfWidth);
}

TEST_F(RecordingControlsTest, CompressionSettingsOpenOnTheCurrentPictureAndCancelChangesNothing) {
    for (int i = 0; i < 3; ++i) frame();
    QAction* item = nullptr;
    for (QAction* a : controller.window->findChildren<QAction*>())
        if (a->property("action").toString() == "compressMethod") item = a;
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled());
    bool seen = false;
    QString codec;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* d = qobject_cast<CompressionDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible()) return;
        poll.stop();
        seen = true;
        codec = d->findChild<QComboBox*>("codecCombo")->currentText();
        EXPECT_GT(d->previewBytes(), 0);
        d->findChild<QComboBox*>("codecCombo")->setCurrentIndex(1);
        d->reject();
    });
    poll.start();
    item->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(codec, "Photo-JPEG ('jpeg')");
    EXPECT_EQ(recording.RecCodecType, kJPEGCodecType);
    EXPECT_TRUE(alertTexts().isEmpty());
}

TEST_F(RecordingControlsTest, SheetAndFailureTextsComeFromTheCatalogue) {
    QTranslator german;
    ASSERT_TRUE(german.load(QLocale(QLocale::German, QLocale::Germany), "app", "_", ":/i18n"));
    QCoreApplication::installTranslator(&german);
    QFileDialog* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowTitle(), "Filmaufnahme");
    EXPECT_EQ(sheet->labelText(QFileDialog::FileName), "Dateiname: ");
    EXPECT_EQ(sheet->labelText(QFileDialog::Accept), "Starten");
    EXPECT_EQ(sheet->findChild<QLineEdit*>("fileNameEdit")->text(), "WobbleMovie");
    sheet->reject();
    EXPECT_EQ(catalogue_lookup("Cannot create new file"), "Neue Datei kann nicht angelegt werden");
    EXPECT_EQ(catalogue_lookup("AddMediaSample for Video"), "AddMediaSample für Video");
    EXPECT_EQ(QCoreApplication::translate("CompressionDialog", "Lossless"), "Verlustfrei");
    QCoreApplication::removeTranslator(&german);
}

TEST_F(RecordingControlsTest, AStoredDirectoryThatIsGoneFallsBackToHome) {
    for (const QVariant& stored : {QVariant(home.filePath("gone")), QVariant(42), QVariant()}) {
        QSettings().setValue("MovieFileSaveDirectory", stored);
        QFileDialog* sheet = openSheet();
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(QDir(sheet->directory()).canonicalPath(), QDir(home.path()).canonicalPath());
        sheet->reject();
    }
}
