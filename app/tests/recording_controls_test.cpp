// SPDX-License-Identifier: MIT
// What the window saves: movies through the record button and its save sheet (read back with
// libavformat), and snapshots with their countdown.
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "file_size_cap.h"
#include "movie_reader.h"
#include "recording.h"
#include "window_fixture.h"

namespace {

class RecordingControlsTest : public WindowTest {
protected:
    void SetUp() override {
        oldHome = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        QSettings().clear();
        controller.recording = &recording;
        WindowTest::SetUp();
        controller.window->show();
        startCamera(3);
    }
    void TearDown() override {
        qputenv("HOME", oldHome);
        WindowTest::TearDown();
    }
    // One camera frame and one render pass.
    void frame() {
        view->cameraTask();
        view->grab();
    }
    // Clicks the record button on and accepts its sheet with `name` typed in (relative to the
    // sheet's directory, or absolute).
    void record(const QString& name) {
        ui->recButton->click();
        ASSERT_NE(controller.savePanel, nullptr);
        controller.savePanel->findChild<QLineEdit*>("fileNameEdit")->setText(name);
        QMetaObject::invokeMethod(controller.savePanel, "accept");
    }
    // Records `frames` frames into `name`, then reads `file` back.
    MovieInfo recordAndRead(const QString& name, int frames, const QString& file) {
        record(name);
        for (int i = 0; i < frames; ++i) frame();
        ui->recButton->click();
        EXPECT_FALSE(ui->actionRecord->isChecked());
        return read_movie(file.toStdString());
    }
    QString sheetDirectory() {
        ui->recButton->click();
        const QString dir = QDir(controller.savePanel->directory()).canonicalPath();
        controller.savePanel->reject();
        return dir;
    }

    QTemporaryDir home;
    QByteArray oldHome;
    RecordingState recording;
    std::vector<testcam::Alert>& alerts = testcam::camera().alerts;
};

}  // namespace

TEST_F(RecordingControlsTest, TheSheetOffersWobbleMovieAtHomeAndRemembersTheDirectory) {
    ui->recButton->click();
    QFileDialog* sheet = controller.savePanel;
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->findChild<QLineEdit*>("fileNameEdit")->text(), "WobbleMovie");
    EXPECT_EQ(QDir(sheet->directory()).canonicalPath(), QDir(home.path()).canonicalPath());
    sheet->reject();  // cancelled: no recording, nothing remembered
    EXPECT_FALSE(ui->recButton->isChecked());
    EXPECT_FALSE(QSettings().contains("MovieFileSaveDirectory"));

    const QString movies = home.filePath("movies");
    ASSERT_TRUE(QDir().mkpath(movies));
    const MovieInfo m = recordAndRead(movies + "/first", 5, movies + "/first.mov");
    EXPECT_EQ(m.durations.size(), 5u) << m.error;
    EXPECT_EQ(sheetDirectory(), QDir(movies).canonicalPath());
    QSettings().setValue("MovieFileSaveDirectory", home.filePath("gone"));  // gone: home instead
    EXPECT_EQ(sheetDirectory(), QDir(home.path()).canonicalPath());
    EXPECT_TRUE(alerts.empty());
}

TEST_F(RecordingControlsTest, TheMovieExtensionIsEnforced) {
    EXPECT_EQ(recordAndRead("clip.avi", 3, home.filePath("clip.avi.mov")).durations.size(), 3u);
    EXPECT_EQ(recordAndRead("upper.MOV", 2, home.filePath("upper.MOV")).durations.size(), 2u);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files), QStringList({"clip.avi.mov", "upper.MOV"}));
    // Where no file can be made: an alert, the button released, the directory remembered.
    record("/proc/WobbleMovie");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].text, "Cannot create new file");
    EXPECT_FALSE(ui->recButton->isChecked());
    EXPECT_EQ(QSettings().value("MovieFileSaveDirectory").toString(), "/proc");
}

TEST_F(RecordingControlsTest, AFailedFrameEndsTheRecordingWithOneAlertAndKeepsThePictures) {
    ASSERT_TRUE(set_compression_settings(recording, pipeline, kRawCodecType, codecLosslessQuality));
    int64_t nowMs = 0;
    recording.clock = [&nowMs] { return (nowMs += 40) * 1000; };
    record("full");
    {
        const FileSizeCap cap(70000);  // room for two fragments of half a second
        for (int i = 0; i < 200 && recording.RecordingOn; ++i) frame();
    }
    EXPECT_EQ(recording.RecordingOn, 0);
    EXPECT_FALSE(ui->recButton->isChecked());
    // The alert comes once the view has painted, and only once, however many frames follow.
    ASSERT_TRUE(testcam::wait_until([&] { return !alerts.empty(); }));
    for (int i = 0; i < 5; ++i) frame();
    QCoreApplication::processEvents();
    ASSERT_EQ(alerts.size(), 1u);
    std::string error;
    const int pictures = decode_movie(home.filePath("full.mov").toStdString(), error);
    EXPECT_GE(pictures, 24) << error;
    EXPECT_EQ(alerts[0].text,
              "AddMediaSample for Video\nerror code = -27\nThe movie file has reached the largest "
              "size allowed. The recording was stopped; the " +
                  std::to_string(pictures) + " pictures recorded so far are in ~/full.mov.");
}

TEST_F(RecordingControlsTest, QuittingWhileRecordingFinishesTheMovie) {
    record("quit");
    for (int i = 0; i < 4; ++i) frame();
    // The main window's close quits the application, inside its event loop as in the program.
    QTimer::singleShot(0, controller.window, [this] { controller.window->close(); });
    EXPECT_EQ(runLoop(), 0);
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);  // the last window's, too late
    EXPECT_EQ(recording.RecordingOn, 0);
    EXPECT_FALSE(ui->recButton->isChecked());
    const MovieInfo m = read_movie(home.filePath("quit.mov").toStdString());
    EXPECT_EQ(m.durations.size(), 4u) << m.error;
}

// The picture as shown goes to the pictures folder under a time-stamped name, after the
// countdown if it is on.
TEST_F(WindowTest, SnapshotsHoldThePictureAsShown) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QDir(folder).removeRecursively();
    startCamera(8);
    view->grab();
    ui->snapshotButton->click();
    const QFileInfo file(controller.lastPicturePath);
    EXPECT_EQ(file.absolutePath(), QFileInfo(folder).absoluteFilePath());
    // The drawn bitmap's bytes R, G, B of each pixel, the spare fourth byte left out.
    const OutputBitmap& bm = *pipeline.bitmap;
    const QImage drawn(bm.data, bm.width, bm.height, bm.rowBytes, QImage::Format_RGBX8888);
    EXPECT_EQ(QImage(file.absoluteFilePath()).convertToFormat(QImage::Format_RGB888),
              drawn.convertToFormat(QImage::Format_RGB888));

    ui->actionSnapshotCountdown->trigger();
    ui->actionSavePicture->trigger();
    for (const char* shown : {"3", "2", "1"}) {
        EXPECT_EQ(view->overlayText(), shown);
        ASSERT_NE(controller.countdownTimer, nullptr);
        QMetaObject::invokeMethod(controller.countdownTimer, "timeout");
    }
    EXPECT_TRUE(view->overlayText().isEmpty());
    EXPECT_EQ(controller.countdownTimer, nullptr);
    EXPECT_NE(controller.lastPicturePath, file.absoluteFilePath());
    EXPECT_TRUE(QFileInfo::exists(controller.lastPicturePath));
}
