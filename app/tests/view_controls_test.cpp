// SPDX-License-Identifier: MIT
// The effect selector, the Normal, Mirror and Full Size controls with their menu marks and keys, in
// the main window and in full screen; what else the window shows of its state; Qt's own options.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTranslator>

#include "error_alert.h"
#include "window_fixture.h"

namespace {

// Keys typed into the window (or the full-screen window), then a button clicked in the main
// window; what the controls show afterwards.
struct ControlCase {
    const char* name;
    bool inFullScreen;
    const char* keys;    // e.g. "0, 4": 0, then 4
    const char* button;  // object name, or ""
    int cell;            // selected row * 10 + column
    bool normal, mirror, fullSize, fullScreen;
    friend void PrintTo(const ControlCase& r, std::ostream* os) { *os << r.name; }
};

class WindowControls : public WindowTest, public ::testing::WithParamInterface<ControlCase> {};

}  // namespace

TEST_P(WindowControls, ShowTheirStateInButtonsMatrixAndMenus) {
    const ControlCase& c = GetParam();
    controller.firstTime = false;
    controller.window->show();
    if (c.inFullScreen) {
        controller.beginFullScreen(nullptr);
        for (QAction* a : controller.window->findChildren<QAction*>()) {
            if (!a->shortcuts().isEmpty())
                EXPECT_TRUE(controller.fullScrWindow->actions().contains(a));
        }
    }
    QWidget* w =
        c.inFullScreen ? static_cast<QWidget*>(controller.fullScrWindow) : controller.window;
    QApplication::setActiveWindow(w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    QTest::keySequence(w, QKeySequence(QString::fromLatin1(c.keys)));
    if (*c.button) controller.window->findChild<QAbstractButton*>(c.button)->click();

    EffectMatrix* m = view->deformMode;
    EXPECT_EQ(m->selectedRow() * 10 + m->selectedColumn(), c.cell);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m->cells()[i]->isChecked(), i / 3 * 10 + i % 3 == c.cell);
    EXPECT_EQ(m->isEnabled(), !c.normal);
    EXPECT_EQ(ui->normalSwitch->isChecked(), c.normal);
    EXPECT_EQ(ui->normalMenuItem->isChecked(), c.normal);
    EXPECT_EQ(ui->actionMotionPaint->isEnabled(),
              !c.normal);  // effect items greyed out while Normal
    EXPECT_EQ(viewState.mirrorMode, c.mirror);
    EXPECT_EQ(ui->actionMirror->isChecked(), c.mirror);
    EXPECT_EQ(ui->sizeSwitch->isChecked(), c.fullSize);
    EXPECT_EQ(ui->actionFullSize->isChecked(), c.fullSize);
    EXPECT_EQ(controller.fullScrWindow != nullptr, c.fullScreen);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WindowControls,
    ::testing::Values(
        ControlCase{"AtLaunch", false, "", "", 0, false, true, false, false},
        ControlCase{"Key2", false, "2", "", 1, false, true, false, false},
        ControlCase{"Key4", false, "4", "", 10, false, true, false, false},
        ControlCase{"Key6Then1", false, "6, 1", "", 0, false, true, false, false},
        ControlCase{"CellClicked", false, "", "scatterCell", 11, false, true, false, false},
        ControlCase{"Key0", false, "0", "", 0, true, true, false, false},
        ControlCase{"Key0Twice", false, "0, 0", "", 0, false, true, false, false},
        ControlCase{"NormalButton", false, "", "normalSwitch", 0, true, true, false, false},
        ControlCase{"Key4EndsNormal", false, "0, 4", "", 10, false, true, false, false},
        ControlCase{"KeyM", false, "M", "", 0, false, false, false, false},
        ControlCase{"KeyS", false, "S", "", 0, false, true, true, false},
        ControlCase{"SizeButton", false, "", "sizeSwitch", 0, false, true, true, false},
        ControlCase{"ControlF", false, "Ctrl+F", "", 0, false, true, false, true},
        ControlCase{"FullScreenKey2", true, "2", "", 1, false, true, false, true},
        ControlCase{"FullScreenKey6EndsNormal", true, "0, 6", "", 12, false, true, false, true},
        ControlCase{"FullScreenKeyM", true, "M", "", 0, false, false, false, true}),
    RowName());

TEST_F(WindowTest, EffectsHaveTheSameNamesInCellsAndMenuAndMenusMarkTheSelectedOne) {
    const QStringList names{"Wave Warp",    "Exposure",     "Motion Trace",
                            "Motion Delay", "Time Scatter", "Motion Paint"};
    EXPECT_EQ(view->deformMode->cellTitles(), names);
    QStringList items;
    for (QAction* a : ui->menuEffect->actions()) {
        if (names.contains(a->text())) items << a->text();
    }
    EXPECT_EQ(items, names);
    view->deformMode->selectCellAtRow(0, 2);  // from code: nothing revalidates until the menu opens
    ui->menuEffect->popup(QPoint(0, 0));
    ASSERT_TRUE(testcam::wait_until([&] { return ui->menuEffect->isVisible(); }));
    EXPECT_TRUE(ui->actionMotionTrace->isChecked());
    EXPECT_FALSE(ui->actionWaveWarp->isChecked());
    ui->menuEffect->hide();
}

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
    // The mean colour of a strip inside the button's left edge, clear of its text.
    const auto face = [](QAbstractButton* b) {
        const QImage shot = b->grab().toImage();
        int sum[3] = {0, 0, 0}, n = 0;
        for (int y = shot.height() / 3; y < 2 * shot.height() / 3; ++y, n += 4) {
            for (int x = 4; x < 8; ++x) {
                for (int c = 0; c < 3; ++c) sum[c] += (shot.pixel(x, y) >> (16 - 8 * c)) & 0xFF;
            }
        }
        return std::abs(sum[0] / n - 53) + std::abs(sum[1] / n - 132) + std::abs(sum[2] / n - 228);
    };
    for (QAbstractButton* b : {ui->sizeSwitch, ui->exposureCell, ui->normalSwitch}) {
        b->resize(120, 30);
        b->setChecked(false);
        EXPECT_GT(face(b), 150) << b->objectName().toStdString();
        b->setChecked(true);
        EXPECT_LT(face(b), 90) << b->objectName().toStdString();
    }
    QApplication::setPalette(formerPalette);
    QApplication::setStyle(QStyleFactory::create(formerStyle));
}

TEST(QtOwn, CatalogueAndCommandLineOptions) {
    QTranslator* qt = install_qt_translation(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_NE(qt, nullptr);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
    QCoreApplication::removeTranslator(qt);
    delete qt;
    EXPECT_EQ(install_qt_translation(QLocale(QLocale::Zulu)), nullptr);

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(WOBBLESCOPE_BIN,
            {"-platform", "offscreen", "-style", "Fusion", "-reverse", "--list-cameras"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
    p.start(WOBBLESCOPE_BIN, {"-platform"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAll().contains("Usage: wobblescope"));
}
