// SPDX-License-Identifier: MIT
// What the window shows of its state: checked buttons in dark and light palettes, the menu marks,
// the recording and schedule indicators; keys 1 to 6 with Normal on; Qt's own catalogue; Qt's
// command-line options.
#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTranslator>

#include "av_movie.h"
#include "error_alert.h"
#include "recording.h"
#include "settings_store.h"
#include "window_fixture.h"

namespace {

struct PaletteCase {
    std::string name;
    QColor window, button, text, highlight;
};
void PrintTo(const PaletteCase& c, std::ostream* os) { *os << c.name; }

QPalette palette_of(const PaletteCase& c) {
    QPalette p(c.button, c.window);
    p.setColor(QPalette::ButtonText, c.text);
    p.setColor(QPalette::WindowText, c.text);
    p.setColor(QPalette::Highlight, c.highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

// The mean colour of a strip inside the button's left edge, clear of its text.
QColor face_colour(QAbstractButton* b) {
    const QImage shot = b->grab().toImage();
    long r = 0, g = 0, bl = 0, n = 0;
    for (int y = shot.height() / 3; y < 2 * shot.height() / 3; ++y)
        for (int x = 4; x < 8; ++x, ++n) {
            const QRgb p = shot.pixel(x, y);
            r += qRed(p);
            g += qGreen(p);
            bl += qBlue(p);
        }
    return QColor(int(r / n), int(g / n), int(bl / n));
}

int distance(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

class CheckedLookTest : public WindowTest, public ::testing::WithParamInterface<PaletteCase> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        formerStyle = QApplication::style()->name();
        formerPalette = QApplication::palette();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(palette_of(GetParam()));
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        QApplication::setPalette(formerPalette);
        QApplication::setStyle(QStyleFactory::create(formerStyle));
        WindowTest::TearDown();
    }
    QString formerStyle;
    QPalette formerPalette;
};

}  // namespace

TEST_P(CheckedLookTest, CheckedButtonsStandOutInTheHighlightColour) {
    const QColor highlight = GetParam().highlight;
    for (QAbstractButton* b : {ui->sizeSwitch, ui->exposureCell, ui->normalSwitch}) {
        b->resize(120, 30);
        b->setChecked(false);
        const QColor off = face_colour(b);
        b->setChecked(true);
        const QColor on = face_colour(b);
        EXPECT_LT(distance(on, highlight), 90) << b->objectName().toStdString();
        EXPECT_GT(distance(on, off), 120) << b->objectName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    FusionPalettes, CheckedLookTest,
    ::testing::Values(PaletteCase{"Dark", QColor(36, 31, 49), QColor(53, 53, 53),
                                  QColor(238, 238, 238), QColor(53, 132, 228)},
                      PaletteCase{"Light", QColor(246, 245, 244), QColor(239, 239, 239),
                                  QColor(20, 20, 20), QColor(48, 140, 198)}),
    [](const ::testing::TestParamInfo<PaletteCase>& info) { return info.param.name; });

TEST_F(WindowTest, EffectKeyWhileNormalIsOnEndsNormalAndChoosesTheEffect) {
    controller.window->show();
    QApplication::setActiveWindow(controller.window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.window));
    QTest::keyClick(controller.window, Qt::Key_0);
    ASSERT_TRUE(view->normalSwitch->isChecked());
    EXPECT_FALSE(ui->actionMotionDelay->isEnabled());  // the menu stays greyed out
    QTest::keyClick(controller.window, Qt::Key_4);
    EXPECT_FALSE(view->normalSwitch->isChecked());
    EXPECT_FALSE(ui->normalMenuItem->isChecked());
    EXPECT_TRUE(view->deformMode->isEnabled());
    EXPECT_EQ(view->deformMode->selectedRow(), 1);
    EXPECT_EQ(view->deformMode->selectedColumn(), 0);
    QTest::keyClick(controller.window, Qt::Key_3);  // Normal off: the menu item's own key
    EXPECT_EQ(view->deformMode->selectedRow(), 0);
    EXPECT_EQ(view->deformMode->selectedColumn(), 2);
}

TEST_F(WindowTest, MenuMarksFollowMirrorFullSizeAndRecord) {
    EXPECT_TRUE(ui->actionMirror->isCheckable());
    EXPECT_TRUE(ui->actionMirror->isChecked());
    ui->actionMirror->trigger();
    EXPECT_FALSE(ui->actionMirror->isChecked());
    ui->sizeSwitch->click();  // the button, not the menu
    EXPECT_TRUE(ui->actionFullSize->isChecked());
    ui->sizeSwitch->click();
    EXPECT_FALSE(ui->actionFullSize->isChecked());
    EXPECT_EQ(ui->actionRecord->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
    ui->recButton->setChecked(true);
    EXPECT_TRUE(ui->actionRecord->isChecked());
    ui->recButton->setChecked(false);
    EXPECT_FALSE(ui->actionRecord->isChecked());
    EXPECT_TRUE(ui->fpsText->inherits("QLabel"));  // a read-out, not an editable field
}

TEST_F(WindowTest, IndicatorsShowARunningRecordingWithItsTimeAndARunningSchedule) {
    RecordingState recording;
    controller.recording = &recording;
    controller.updateIndicators();
    EXPECT_TRUE(ui->recIndicator->isHidden());
    EXPECT_TRUE(ui->scheduleIndicator->isHidden());
    recording.RecordingOn = 1;
    controller.updateIndicators();
    EXPECT_FALSE(ui->recIndicator->isHidden());
    EXPECT_TRUE(ui->recIndicator->text().contains(QStringLiteral("Recording 0:0")))
        << ui->recIndicator->text().toStdString();
    recording.RecordingOn = 0;
    controller.updateIndicators();
    EXPECT_TRUE(ui->recIndicator->isHidden());
    controller.timerSheetDidEnd(1);
    controller.updateIndicators();
    EXPECT_FALSE(ui->scheduleIndicator->isHidden());
    controller.timerSheetDidEnd(0);
    controller.updateIndicators();
    EXPECT_TRUE(ui->scheduleIndicator->isHidden());
    controller.recording = nullptr;
}

TEST(QtCatalogue, QtsOwnButtonsSpeakGerman) {
    QTranslator* qt = install_qt_translation(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_NE(qt, nullptr);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
    QCoreApplication::removeTranslator(qt);
    delete qt;
    EXPECT_EQ(install_qt_translation(QLocale(QLocale::Zulu)), nullptr);
}

TEST(CommandLine, QtsStandardOptionsAreAcceptedAndPassedOn) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(WOBBLESCOPE_BIN),
            {"-platform", "offscreen", "-style", "Fusion", "-reverse", "--list-cameras"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
    p.start(QStringLiteral(WOBBLESCOPE_BIN), {"-platform"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAll().contains("Usage: wobblescope"));
}

TEST_F(WindowTest, StoredCompressionSettingsReachTheCompressorAtLaunchAndAreWrittenBack) {
    RecordingState recording;
    controller.recording = &recording;
    startCamera(2);
    controller.storedSettings.hasCompression = true;
    controller.storedSettings.codecType = kPNGCodecType;
    controller.storedSettings.spatialQuality = codecHighQuality;
    controller.storedSettings.keyFrameRate = 7;
    controller.restoreLaunchSettings();
    ASSERT_NE(recording.RecVideoCI, nullptr);
    SCSpatialSettings spatial;
    SCTemporalSettings temporal;
    recording.RecVideoCI->getInfo(spatial);
    recording.RecVideoCI->getInfo(temporal);
    EXPECT_EQ(recording.RecCodecType, kPNGCodecType);
    EXPECT_EQ(spatial.codecType, kPNGCodecType);
    EXPECT_EQ(spatial.spatialQuality, codecHighQuality);
    EXPECT_EQ(temporal.keyFrameRate, 7);

    controller.storedSettings = StoredSettings{};
    controller.saveSettings();
    const StoredSettings back = read_settings(QSettings());
    EXPECT_TRUE(back.hasCompression);
    EXPECT_EQ(back.codecType, kPNGCodecType);
    EXPECT_EQ(back.keyFrameRate, 7);
    EXPECT_TRUE(testcam::camera().alerts.empty());
    QSettings().clear();
    controller.recording = nullptr;
}
