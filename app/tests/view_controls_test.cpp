// SPDX-License-Identifier: MIT
// The effect selector, the normal, size and mirror controls and the menus, on the real window.
#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>

#include "window_fixture.h"

namespace {

QList<QAction*> effect_items(Ui::MainWindow* ui) {
    return {ui->actionWaveWarp,    ui->actionExposure,    ui->actionMotionTrace,
            ui->actionMotionDelay, ui->actionTimeScatter, ui->actionMotionPaint};
}

// Width and height of the area from the top-left corner that is not black.
QSize picture_extent(const QImage& shot) {
    int w = 0, h = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFF) != 0) {
                w = std::max(w, x + 1);
                h = std::max(h, y + 1);
            }
    return QSize(w, h);
}

}  // namespace

TEST_F(WindowTest, LaunchStateIsWaveWarpHalfSizeMirrored) {
    EXPECT_TRUE(view->deformMode->isEnabled());
    EXPECT_EQ(view->deformMode->selectedRow(), 0);
    EXPECT_EQ(view->deformMode->selectedColumn(), 0);
    EXPECT_FALSE(view->normalSwitch->isChecked());
    EXPECT_FALSE(view->normalMenuItem->isChecked());
    EXPECT_FALSE(view->sizeSwitch->isChecked());
    EXPECT_TRUE(viewState.mirrorMode);
    for (int oc : {pipeline.Oc11, pipeline.Oc12, pipeline.Oc21, pipeline.Oc22}) {
        EXPECT_GE(oc, 0);
        EXPECT_LT(oc, 360);
    }
}

TEST_F(WindowTest, MatrixCellsAreInRowOrderWithTheEffectNames) {
    EffectMatrix* m = view->deformMode;
    EXPECT_EQ(m->numberOfRows(), 2);
    EXPECT_EQ(m->numberOfColumns(), 3);
    EXPECT_EQ(m->cellTitles(), (QStringList{"Wave Warp", "Exposure", "Motion Trace", "Motion Delay",
                                            "Time Scatter", "Motion Paint"}));
    EXPECT_EQ(view->normalSwitch->text(), "Normal");
    // The menu item of each cell carries the cell's title and its tag row * 10 + column.
    const QList<QAction*> items = effect_items(ui);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(items[i]->text(), m->cellTitles()[i]);
        EXPECT_EQ(items[i]->property("tag").toInt(), i / 3 * 10 + i % 3);
    }
}

TEST_F(WindowTest, MatrixSelectionFromCodeSendsNothingAndCanBeCleared) {
    EffectMatrix* m = view->deformMode;
    int clicks = 0;
    for (QAbstractButton* b : m->cells())
        QObject::connect(b, &QAbstractButton::clicked, [&] { ++clicks; });
    m->selectCellAtRow(1, 1);
    EXPECT_EQ(m->selectedRow(), 1);
    EXPECT_EQ(m->selectedColumn(), 1);
    m->selectCellAtRow(-1, -1);
    EXPECT_EQ(m->selectedRow(), -1);
    EXPECT_EQ(m->selectedColumn(), -1);
    EXPECT_EQ(mode_index(view->controls()), -4);  // no cell: motion paint
    m->selectCellAtRow(0, 2);
    EXPECT_EQ(m->selectedColumn(), 2);
    EXPECT_EQ(clicks, 0);
    // A user's click selects a cell exclusively.
    m->cells()[4]->click();
    EXPECT_EQ(m->selectedRow(), 1);
    EXPECT_EQ(m->selectedColumn(), 1);
    EXPECT_FALSE(m->cells()[2]->isChecked());
}

TEST_F(WindowTest, SetEffectWithTag12SelectsRow1Column2) {
    ui->actionMotionPaint->trigger();
    EXPECT_EQ(view->deformMode->selectedRow(), 1);
    EXPECT_EQ(view->deformMode->selectedColumn(), 2);
    EXPECT_EQ(effect_for_mode(mode_index(view->controls())), 5);
    // The same through the action called directly, from another cell.
    view->setEffect(ui->actionExposure);
    EXPECT_EQ(view->deformMode->selectedRow(), 0);
    EXPECT_EQ(view->deformMode->selectedColumn(), 1);
}

TEST_F(WindowTest, NormalFromTheMenuSwitchesButtonAndMatrix) {
    ui->normalMenuItem->trigger();
    EXPECT_TRUE(view->normalMenuItem->isChecked());
    EXPECT_TRUE(view->normalSwitch->isChecked());
    EXPECT_FALSE(view->deformMode->isEnabled());
    EXPECT_FALSE(view->controls().effectEnabled);
    ui->normalMenuItem->trigger();
    EXPECT_FALSE(view->normalMenuItem->isChecked());
    EXPECT_FALSE(view->normalSwitch->isChecked());
    EXPECT_TRUE(view->deformMode->isEnabled());
    // Called as an action with the menu item as sender, it toggles the item itself.
    view->switchNormal(view->normalMenuItem);
    EXPECT_TRUE(view->normalMenuItem->isChecked());
    EXPECT_TRUE(view->normalSwitch->isChecked());
    EXPECT_FALSE(view->deformMode->isEnabled());
}

TEST_F(WindowTest, NormalFromTheButtonCopiesItsStateToTheMenu) {
    view->normalSwitch->click();
    EXPECT_TRUE(view->normalSwitch->isChecked());
    EXPECT_TRUE(view->normalMenuItem->isChecked());
    EXPECT_FALSE(view->deformMode->isEnabled());
    view->normalSwitch->click();
    EXPECT_FALSE(view->normalSwitch->isChecked());
    EXPECT_FALSE(view->normalMenuItem->isChecked());
    EXPECT_TRUE(view->deformMode->isEnabled());
}

TEST_F(WindowTest, ValidateMenuItemMarksTheSelectedEffectAndDisablesWhileNormal) {
    view->deformMode->selectCellAtRow(1, 0);
    for (QAction* item : effect_items(ui)) {
        EXPECT_TRUE(view->validateMenuItem(item));
        EXPECT_EQ(item->isChecked(), item->property("tag").toInt() == 10) << item->text().toStdString();
    }
    view->normalSwitch->click();
    for (QAction* item : effect_items(ui)) {
        EXPECT_FALSE(view->validateMenuItem(item));
        EXPECT_EQ(item->isChecked(), item->property("tag").toInt() == 10);
    }
    // Items of other actions are always enabled and keep their state.
    EXPECT_TRUE(view->validateMenuItem(ui->actionMirror));
    EXPECT_TRUE(view->validateMenuItem(ui->normalMenuItem));
    EXPECT_TRUE(ui->normalMenuItem->isChecked());
}

TEST_F(WindowTest, MenusAreValidatedWhenTheyOpen) {
    view->deformMode->selectCellAtRow(0, 2);  // from code: nothing revalidates yet
    EXPECT_FALSE(ui->actionMotionTrace->isChecked());
    ui->menuEffect->popup(QPoint(0, 0));
    ASSERT_TRUE(testcam::wait_until([&] { return ui->menuEffect->isVisible(); }));
    EXPECT_TRUE(ui->actionMotionTrace->isChecked());
    EXPECT_FALSE(ui->actionWaveWarp->isChecked());
    EXPECT_TRUE(ui->actionWaveWarp->isEnabled());
    ui->menuEffect->hide();

    ui->normalMenuItem->trigger();
    ui->menuEffect->popup(QPoint(0, 0));
    ASSERT_TRUE(testcam::wait_until([&] { return ui->menuEffect->isVisible(); }));
    for (QAction* item : effect_items(ui)) EXPECT_FALSE(item->isEnabled());
    EXPECT_TRUE(ui->actionMotionTrace->isChecked());
    EXPECT_TRUE(ui->normalMenuItem->isEnabled());
    ui->menuEffect->hide();
}

TEST_F(WindowTest, EffectShortcutsFollowNormalMode) {
    view->normalSwitch->click();
    // Disabled items do not trigger, whatever their shortcut.
    ui->actionTimeScatter->trigger();
    EXPECT_EQ(view->deformMode->selectedRow(), 0);
    EXPECT_EQ(view->deformMode->selectedColumn(), 0);
    view->normalSwitch->click();
    ui->actionTimeScatter->trigger();
    EXPECT_EQ(view->deformMode->selectedRow(), 1);
    EXPECT_EQ(view->deformMode->selectedColumn(), 1);
}

TEST_F(WindowTest, StandardShortcuts) {
    const QList<QAction*> items = effect_items(ui);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(items[i]->shortcut(), QKeySequence(QString::number(i + 1)));
    EXPECT_EQ(ui->normalMenuItem->shortcut(), QKeySequence("0"));
    EXPECT_EQ(ui->actionQuit->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_FALSE(ui->actionMirror->shortcut().isEmpty());
    EXPECT_FALSE(ui->actionFullSize->shortcut().isEmpty());
}

TEST_F(WindowTest, MirrorToggledTwiceIsBackAndTouchesNoControl) {
    EXPECT_TRUE(viewState.mirrorMode);
    ui->actionMirror->trigger();
    EXPECT_FALSE(viewState.mirrorMode);
    view->switchMirrorMode(ui->actionMirror);
    EXPECT_TRUE(viewState.mirrorMode);
    EXPECT_TRUE(ui->actionMirror->isChecked());  // the item's mark shows the mirror state
    EXPECT_FALSE(view->normalSwitch->isChecked());
}

TEST_F(WindowTest, SizeItemWithTheToggleOnTurnsBothOffAndAppliesAtTheNextPass) {
    startCamera(6);
    view->sizeSwitch->click();  // the user asks for full size
    ASSERT_TRUE(view->sizeSwitch->isChecked());
    view->grab();  // a render pass applies it
    EXPECT_EQ(viewState.currentSize, kFullSize);
    EXPECT_EQ(pipeline.Width, 64);
    EXPECT_EQ(pipeline.Depth, 0);

    for (int i = 0; i < 2; ++i) view->cameraTask();
    ui->actionFullSize->setChecked(true);
    ui->actionFullSize->trigger();
    EXPECT_FALSE(ui->actionFullSize->isChecked());
    EXPECT_FALSE(view->sizeSwitch->isChecked());
    EXPECT_EQ(viewState.currentSize, kFullSize);  // nothing happens before the pass

    // While recording, the change waits.
    const uint8_t recording = 1;
    int recorded = 0;
    view->setRecordingHook(&recording, [&](const uint8_t*, int) { return ++recorded > 0; });
    view->grab();
    EXPECT_EQ(recorded, 1);
    EXPECT_EQ(viewState.currentSize, kFullSize);
    EXPECT_EQ(pipeline.Width, 64);

    const uint8_t stopped = 0;
    view->setRecordingHook(&stopped, nullptr);
    view->grab();
    EXPECT_EQ(viewState.currentSize, kHalfSize);
    EXPECT_EQ(pipeline.Width, 32);
    EXPECT_EQ(pipeline.Depth, 0);
}

TEST_F(WindowTest, SizeItemWithTheToggleOffTurnsBothOn) {
    ui->actionFullSize->trigger();
    EXPECT_TRUE(ui->actionFullSize->isChecked());
    EXPECT_TRUE(view->sizeSwitch->isChecked());
    EXPECT_EQ(view->controls().sizeSwitchState, 1);
}

TEST_F(WindowTest, SetImageSizeChangesOnlyTheDrawnSize) {
    startCamera(8);
    const PipelineState before = pipeline;
    const int depth = pipeline.Depth;
    view->setImageSize(QSizeF(200, 150));
    EXPECT_EQ(view->sizeHint(), QSize(200, 150));
    EXPECT_EQ(pipeline.smallBitmap.displayWidth, 200);
    EXPECT_EQ(pipeline.largeBitmap.displayHeight, 150);
    EXPECT_EQ(pipeline.Width, before.Width);
    EXPECT_EQ(pipeline.Height, before.Height);
    EXPECT_EQ(pipeline.Depth, depth);
    EXPECT_EQ(pipeline.bitmap, before.bitmap);
    EXPECT_EQ(pipeline.smallBitmap.data, before.smallBitmap.data);
    EXPECT_EQ(pipeline.smallBitmap.width, before.smallBitmap.width);
    EXPECT_EQ(pipeline.sourceFrames[0], before.sourceFrames[0]);
    EXPECT_EQ(viewState.currentSize, kHalfSize);

    // The 32 x 24 picture fills the view with its proportions kept, whatever the display size.
    detachView();
    view->resize(300, 200);
    EXPECT_EQ(picture_extent(view->grab().toImage()), QSize(283, 200));  // 17 black on the left
    view->setImageSize(QSizeF(100, 75));
    EXPECT_EQ(view->sizeHint(), QSize(100, 75));
    EXPECT_EQ(picture_extent(view->grab().toImage()), QSize(283, 200));
}

TEST_F(WindowTest, FrameRateReadoutIsShownFromTheSecondStoredFrame) {
    startCamera(3);
    EXPECT_TRUE(view->fpsText->text().isEmpty());
    view->cameraTask();
    EXPECT_FALSE(view->fpsText->text().isEmpty());
    bool ok = false;
    const double fps = QLocale().toDouble(view->fpsText->text(), &ok);
    EXPECT_TRUE((ok && fps > 0) || view->fpsText->text() == "inf") << view->fpsText->text().toStdString();
}
