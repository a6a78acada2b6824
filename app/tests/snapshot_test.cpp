// SPDX-License-Identifier: MIT
// Snapshots: the file holds the picture as shown, under a time-stamped name in the pictures
// folder; the countdown shows over the picture first.
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>

#include "snapshot_file.h"
#include "window_fixture.h"

namespace {

class Snapshot : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QDir(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
            .removeRecursively();
        startCamera(8);
        view->grab();  // one render pass draws the picture
        ASSERT_GT(view->picturesDrawn(), 0);
    }
    // The drawn bitmap read byte by byte: R, G, B of each pixel, the spare byte left out.
    QImage bitmapAsDrawn() const {
        const OutputBitmap& bm = *pipeline.bitmap;
        QImage image(bm.width, bm.height, QImage::Format_RGB888);
        for (int y = 0; y < bm.height; ++y)
            for (int x = 0; x < bm.width; ++x) {
                const uint8_t* p = bm.data + static_cast<size_t>(y) * bm.rowBytes + 4 * x;
                image.setPixel(x, y, qRgb(p[0], p[1], p[2]));
            }
        return image;
    }
};

}  // namespace

TEST(SnapshotName, IsTheProgramNameAndTheLocalTime) {
    const QDateTime when(QDate(2026, 12, 6), QTime(20, 35, 10));
    EXPECT_EQ(snapshot_file_name(when), "Wobblescope 2026-12-06 20-35-10.png");
    QTemporaryDir dir;
    const QString first = snapshot_path(dir.path(), when);
    EXPECT_EQ(QFileInfo(first).fileName(), "Wobblescope 2026-12-06 20-35-10.png");
    QFile(first).open(QIODevice::WriteOnly);
    EXPECT_EQ(QFileInfo(snapshot_path(dir.path(), when)).fileName(),
              "Wobblescope 2026-12-06 20-35-10 2.png");  // an existing picture is never replaced
}

TEST_F(Snapshot, FileHoldsThePictureAsShownInThePicturesFolder) {
    ASSERT_TRUE(controller.takePicture());
    const QFileInfo file(controller.lastPicturePath);
    EXPECT_EQ(file.absolutePath(),
              QFileInfo(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
                  .absoluteFilePath());
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral(R"(^Wobblescope \d{4}-\d\d-\d\d \d\d-\d\d-\d\d( \d+)?\.png$)"))
                    .match(file.fileName())
                    .hasMatch())
        << file.fileName().toStdString();
    const QImage saved = QImage(file.absoluteFilePath()).convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(saved.size(), QSize(pipeline.bitmap->width, pipeline.bitmap->height));
    EXPECT_EQ(saved, bitmapAsDrawn());
    EXPECT_TRUE(view->flashing());
    EXPECT_TRUE(controller.window->statusBar()->currentMessage().contains(file.fileName()));
}

TEST_F(Snapshot, CountdownShowsThreeTwoOneOverThePictureThenSaves) {
    controller.ui->actionSnapshotCountdown->trigger();
    ASSERT_TRUE(controller.ui->actionSnapshotCountdown->isChecked());
    controller.ui->actionSavePicture->trigger();
    EXPECT_EQ(view->overlayText(), "3");
    ASSERT_NE(controller.countdownTimer, nullptr);
    EXPECT_TRUE(controller.lastPicturePath.isEmpty());
    QMetaObject::invokeMethod(controller.countdownTimer, "timeout");
    EXPECT_EQ(view->overlayText(), "2");
    QMetaObject::invokeMethod(controller.countdownTimer, "timeout");
    EXPECT_EQ(view->overlayText(), "1");
    QMetaObject::invokeMethod(controller.countdownTimer, "timeout");
    EXPECT_TRUE(view->overlayText().isEmpty());
    EXPECT_EQ(controller.countdownTimer, nullptr);
    EXPECT_TRUE(QFileInfo::exists(controller.lastPicturePath));
}

TEST_F(Snapshot, SaveKeyAndButtonAreThere) {
    EXPECT_EQ(controller.ui->actionSavePicture->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    EXPECT_TRUE(controller.ui->snapshotButton->isEnabled());
    controller.ui->snapshotButton->click();
    EXPECT_TRUE(QFileInfo::exists(controller.lastPicturePath));
}
