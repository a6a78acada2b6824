// SPDX-License-Identifier: MIT
// The effect selector, the Normal, Mirror and Full Size controls with their menu marks and keys, in
// the main window and in full screen; the checked look; Qt's own options; what the view draws;
// the alert.
#include <QProcess>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTranslator>

#include "error_alert.h"
#include "window_fixture.h"

namespace {

// Keys typed into the window, then a button clicked; what the controls show afterwards.
struct ControlCase {
    const char* name;
    const char* keys;    // e.g. "0, 4": 0, then 4
    const char* button;  // object name, or ""
    int cell;            // selected row * 10 + column
    bool normal, mirror, fullSize, fullScreen;
    friend void PrintTo(const ControlCase& r, std::ostream* os) { *os << r.name; }
};

class WindowControls : public WindowTest, public ::testing::WithParamInterface<ControlCase> {};

struct DrawCase {
    const char* name;
    uint8_t alpha;  // the camera's alpha byte, which ends up in byte 3 of the output pixels
    QImage::Format target;
    friend void PrintTo(const DrawCase& r, std::ostream* os) { *os << r.name; }
};

class Drawing : public WindowTest, public ::testing::WithParamInterface<DrawCase> {};

}  // namespace

TEST_P(WindowControls, ShowTheirStateInButtonsMatrixAndMenus) {
    const ControlCase& c = GetParam();
    controller.firstTime = false;
    controller.window->show();
    QApplication::setActiveWindow(controller.window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.window));
    QTest::keySequence(controller.window, QKeySequence(QString::fromLatin1(c.keys)));
    if (*c.button) controller.window->findChild<QAbstractButton*>(c.button)->click();

    EffectMatrix* m = view->deformMode;
    EXPECT_EQ(m->selectedRow() * 10 + m->selectedColumn(), c.cell);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m->cells()[i]->isChecked(), i / 3 * 10 + i % 3 == c.cell);
    EXPECT_EQ(m->isEnabled(), !c.normal);
    EXPECT_EQ(ui->normalSwitch->isChecked(), c.normal);
    EXPECT_EQ(ui->normalMenuItem->isChecked(), c.normal);
    EXPECT_EQ(ui->actionMotionPaint->isEnabled(), !c.normal);  // greyed out while Normal
    EXPECT_EQ(viewState.mirrorMode, c.mirror);
    EXPECT_EQ(ui->actionMirror->isChecked(), c.mirror);
    EXPECT_EQ(ui->sizeSwitch->isChecked(), c.fullSize);
    EXPECT_EQ(ui->actionFullSize->isChecked(), c.fullSize);
    EXPECT_EQ(controller.fullScrWindow != nullptr, c.fullScreen);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WindowControls,
    ::testing::Values(ControlCase{"AtLaunch", "", "", 0, false, true, false, false},
                      ControlCase{"Key2", "2", "", 1, false, true, false, false},
                      ControlCase{"Key4", "4", "", 10, false, true, false, false},
                      ControlCase{"Key6", "6", "", 12, false, true, false, false},
                      ControlCase{"Key0", "0", "", 0, true, true, false, false},
                      ControlCase{"NormalButton", "", "normalSwitch", 0, true, true, false, false},
                      ControlCase{"Key4EndsNormal", "0, 4", "", 10, false, true, false, false},
                      ControlCase{"KeyM", "M", "", 0, false, false, false, false},
                      ControlCase{"KeyS", "S", "", 0, false, true, true, false},
                      ControlCase{"SizeButton", "", "sizeSwitch", 0, false, true, true, false},
                      ControlCase{"ControlF", "Ctrl+F", "", 0, false, true, false, true}),
    RowName());

// Checked buttons take the highlight colour: Fusion's own checked look is a faint shade in a
// dark palette.
TEST_F(WindowTest, CheckedButtonsStandOutInTheHighlightColourOfADarkPalette) {
    const QString formerStyle = QApplication::style()->name();
    const QPalette formerPalette = QApplication::palette();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette dark(QColor(53, 53, 53), QColor(36, 31, 49));
    dark.setColor(QPalette::ButtonText, QColor(238, 238, 238));
    dark.setColor(QPalette::Highlight, QColor(53, 132, 228));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    for (QAbstractButton* b : {ui->sizeSwitch, ui->exposureCell, ui->normalSwitch}) {
        b->resize(120, 30);
        b->setChecked(true);
        const QColor face = b->grab().toImage().pixelColor(6, 15);  // inside the edge, off the text
        EXPECT_LT(
            std::abs(face.red() - 53) + std::abs(face.green() - 132) + std::abs(face.blue() - 228),
            90)
            << b->objectName().toStdString();
    }
    QApplication::setPalette(formerPalette);
    QApplication::setStyle(QStyleFactory::create(formerStyle));
}

TEST(CommandLine, QtsStandardOptionsAreAcceptedAndPassedOn) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(WOBBLESCOPE_BIN,
            {"-platform", "offscreen", "-style", "Fusion", "-reverse", "--list-cameras"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
}

// What the view draws: the output bitmap as it is, whatever its unshown fourth byte holds, on
// paint devices with and without an alpha channel (a translucent window, a 30-bit screen).
TEST_P(Drawing, ThePlainPictureIsDrawnOpaquePixelForPixel) {
    testcam::camera().alpha = GetParam().alpha;
    view->normalSwitch->click();      // the plain picture
    view->switchMirrorMode(nullptr);  // unmirrored, so pixel x shows camera pixel x
    startCamera(5);
    // Drawn centred on black: 4 columns each side.
    QImage shot(QSize(40, 24), GetParam().target);
    shot.fill(Qt::transparent);
    controller.window->centralWidget()->layout()->removeWidget(view);  // keeps its size
    view->resize(shot.size());
    view->render(&shot);
    shot = shot.convertToFormat(QImage::Format_ARGB32);
    const int n = testcam::camera().frame - 1;  // the newest frame
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 31; ++x) {  // the last output byte of a row is never written
            ASSERT_EQ(shot.pixel(x + 4, y),
                      qRgb(testcam::pattern(n, x, y, 0), testcam::pattern(n, x, y, 1),
                           testcam::pattern(n, x, y, 2)))
                << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    AlphaByteAndTarget, Drawing,
    ::testing::Values(DrawCase{"Alpha0_RGB32", 0x00, QImage::Format_RGB32},
                      DrawCase{"Alpha0_A2RGB30PM", 0x00, QImage::Format_A2RGB30_Premultiplied},
                      DrawCase{"Alpha128_ARGB32PM", 0x80, QImage::Format_ARGB32_Premultiplied}),
    RowName());

// error_msg as the application-modal critical alert, read off the real message box.
TEST(Alert, IsAnApplicationModalCriticalBoxInTheLanguageOfTheCatalogue) {
    install_error_alert();
    const testcam::SeenBox coded = testcam::answer_box([] { error_msg("SGStartPreview", -9405); });
    EXPECT_EQ(coded.text, "Error in Wobblescope|SGStartPreview\nerror code = -9405|OK");
    EXPECT_EQ(coded.icon, QMessageBox::Critical);
    EXPECT_EQ(coded.modality, Qt::ApplicationModal);
    EXPECT_EQ(testcam::answer_box([] { error_msg("SGNewChannel", 0); }).text,
              "Error in Wobblescope|SGNewChannel|OK");
    QTranslator german;
    ASSERT_TRUE(german.load(QLocale(QLocale::German), "app", "_", ":/i18n"));
    QCoreApplication::installTranslator(&german);
    EXPECT_EQ(testcam::answer_box([] { error_msg("memory allocation for fBuffer", 12); }).text,
              "Fehler in Wobblescope|Speicherzuteilung für fBuffer\nFehlercode = 12|OK");
    QCoreApplication::removeTranslator(&german);
    set_error_msg_backend(nullptr, nullptr);
}
