// SPDX-License-Identifier: MIT
// The schedule in the real window: the sheet, its table, OK and Cancel, and the tick acting on
// the view's controls.
#include <QAction>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include "effect_matrix.h"
#include "schedule_app_fixture.h"
#include "schedule_sheet.h"
#include "schedule_table_model.h"

namespace {

class ScheduleInWindow : public AppFixture {
protected:
    // The effect index the render pass would show now: 0 for the plain picture.
    int shown() const {
        const Controls c = view->controls();
        EXPECT_EQ(view->normalSwitch->isChecked(), view->normalMenuItem->isChecked());
        EXPECT_EQ(view->normalSwitch->isChecked(), !c.effectEnabled);
        return c.effectEnabled ? c.selectedRow * 3 + c.selectedColumn + 1 : 0;
    }
    void tick(int seconds) {
        for (int i = 0; i < seconds; ++i) controller->timerFireMethod();
    }
    int durationColumn() const {
        return static_cast<int>(ScheduleTableModel::columnIdentifiers().indexOf("duration"));
    }
    // Opens the sheet, selects `row` (none when -1) and presses OK.
    void runFromRow(int row) {
        controller->clickTimer(nullptr);
        ASSERT_TRUE(controller->timerSheet->isVisible());
        if (row >= 0)
            controller->timerTable->selectRow(row);
        else
            controller->timerTable->clearSelection();
        controller->timerSheet->okButton()->click();
        ASSERT_FALSE(controller->timerSheet->isVisible());
    }
};

class StoredScheduleInWindow : public ScheduleInWindow {
protected:
    void storeSettings(QSettings& settings) override {
        QVariantList rows;
        for (int i = 0; i < 7; ++i)
            rows.append(QVariant(QVariantList{6 - i, i == 0 ? 2 : (i == 1 ? 1 : 0)}));
        settings.setValue("TimerArray", rows);
    }
};

class BadStoredScheduleInWindow : public ScheduleInWindow {
protected:
    void storeSettings(QSettings& settings) override {
        settings.setValue("TimerArray", QVariantList{QVariantList{0, 5}, QVariantList{12, 5},
                                                     QVariantList{"x"}, 7});
    }
};

}  // namespace

TEST_F(ScheduleInWindow, EffectNamesAreTheNormalSwitchAndTheCellTitles) {
    const EffectSchedule& s = controller->schedule;
    ASSERT_EQ(s.effectNames.size(), 7);
    EXPECT_EQ(s.effectNames[0], view->normalSwitch->text());
    const QList<QAbstractButton*> cells = view->deformMode->cells();
    for (int k = 1; k < 7; ++k) EXPECT_EQ(s.effectNames[k], cells[k - 1]->text());

    QAbstractItemModel* model = controller->timerTable->model();
    ASSERT_EQ(model->rowCount(), 7);
    const int name = 1 - durationColumn();
    EXPECT_EQ(model->data(model->index(0, name)).toString(), view->normalSwitch->text());
    for (int r = 0; r < 7; ++r) EXPECT_EQ(model->data(model->index(r, durationColumn())), 10);
}

TEST_F(ScheduleInWindow, SheetIsWindowModalOnTheMainWindowAndSelectsTheCurrentRow) {
    controller->clickTimer(nullptr);
    TimerSheet* sheet = controller->timerSheet;
    ASSERT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->parentWidget(), controller->window);
    EXPECT_EQ(controller->timerTable->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(controller->timerTable->selectionModel()->selectedRows().first().row(), 0);
    EXPECT_EQ(controller->schedule.timerCounter, 10);
    sheet->cancelButton()->click();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(controller->autoChanger, nullptr);
}

TEST_F(ScheduleInWindow, OkShowsTheSelectedRowAtOnceAndTicksEverySecondWithoutSendingActions) {
    QSignalSpy normalClicks(view->normalSwitch, &QAbstractButton::clicked);
    QSignalSpy menuTriggers(view->normalMenuItem, &QAction::triggered);
    view->deformMode->selectCellAtRow(1, 1);  // chosen by hand; the schedule overrides it

    runFromRow(0);
    EXPECT_EQ(shown(), 0);
    ASSERT_NE(controller->autoChanger, nullptr);
    EXPECT_TRUE(controller->autoChanger->isActive());
    EXPECT_EQ(controller->autoChanger->interval(), 1000);
    for (int t = 1; t <= 70; ++t) {
        tick(1);
        ASSERT_EQ(shown(), (t / 10) % 7) << "after " << t << " s";
    }
    EXPECT_EQ(shown(), 0);
    EXPECT_EQ(normalClicks.count(), 0);
    EXPECT_EQ(menuTriggers.count(), 0);
}

TEST_F(ScheduleInWindow, TheTimerItselfDrivesTheTick) {
    controller->schedule.timerTableArray[0].duration = 1;
    runFromRow(0);
    EXPECT_EQ(shown(), 0);
    // One real tick of the one-second timer, waited for with a generous bound.
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == 1; }, 5000));
}

TEST_F(ScheduleInWindow, AnEditInTheTableIsTakenAsTheDurationWhenItsRowIsNextReached) {
    runFromRow(0);
    tick(4);
    controller->clickTimer(nullptr);  // reloads the counter from row 0: 10 s
    QTableView* table = controller->timerTable;
    const QModelIndex cell = table->model()->index(1, durationColumn());
    table->setCurrentIndex(cell);
    table->edit(cell);
    auto* editor = table->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "3");
    QTest::keyClick(editor, Qt::Key_Return);  // the delegate commits from a queued call
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->findChild<QLineEdit*>() == nullptr; }, 5000));
    EXPECT_EQ(controller->schedule.timerTableArray[1].duration.toString(), "3");
    // An edit of the current row does not reload its counter.
    table->model()->setData(table->model()->index(0, durationColumn()), "1");
    table->selectRow(0);
    controller->timerSheet->okButton()->click();
    EXPECT_EQ(controller->schedule.timerCounter, 10);
    tick(9);
    EXPECT_EQ(shown(), 0);
    tick(1);
    EXPECT_EQ(shown(), 1);
    tick(3);
    EXPECT_EQ(shown(), 2);
    controller->schedule.timerIndex = 6;
    controller->schedule.timerCounter = 1;
    tick(1);
    EXPECT_EQ(shown(), 0);
    tick(1);
    EXPECT_EQ(shown(), 1);  // row 0 now lasts 1 s
}

TEST_F(ScheduleInWindow, FirstPeriodAfterOkUsesTheSecondsLeftOnTheCounter) {
    runFromRow(0);
    tick(2);
    controller->clickTimer(nullptr);  // counter reloaded to 10 from the current row 0
    tick(4);                          // the schedule keeps running while the sheet is open
    EXPECT_EQ(shown(), 0);
    controller->timerTable->selectRow(3);
    controller->timerSheet->okButton()->click();
    EXPECT_EQ(shown(), 3);
    tick(5);
    EXPECT_EQ(shown(), 3);
    tick(1);
    EXPECT_EQ(shown(), 4);
}

TEST_F(ScheduleInWindow, CancelStopsTheScheduleAndLeavesTheEffect) {
    runFromRow(2);
    tick(10);
    EXPECT_EQ(shown(), 3);
    QPointer<QTimer> running = controller->autoChanger;
    controller->clickTimer(nullptr);
    controller->timerTable->selectRow(5);
    controller->timerSheet->cancelButton()->click();
    EXPECT_EQ(controller->autoChanger, nullptr);
    EXPECT_TRUE(running.isNull() || !running->isActive());
    EXPECT_EQ(shown(), 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(running.isNull());
    // Escape in the sheet cancels as well.
    runFromRow(1);
    controller->clickTimer(nullptr);
    QTest::keyClick(controller->timerSheet, Qt::Key_Escape);
    EXPECT_FALSE(controller->timerSheet->isVisible());
    EXPECT_EQ(controller->autoChanger, nullptr);
    EXPECT_EQ(shown(), 1);
}

TEST_F(ScheduleInWindow, WithoutASelectedRowTheSheetAndOkUseRowZero) {
    runFromRow(4);
    EXPECT_EQ(shown(), 4);
    controller->timerTable->clearSelection();
    controller->clickTimer(nullptr);  // no selection: the current row becomes row 0
    EXPECT_EQ(controller->schedule.timerIndex, 0);
    EXPECT_EQ(controller->timerTable->selectionModel()->selectedRows().first().row(), 0);
    controller->timerTable->clearSelection();
    controller->timerSheet->okButton()->click();
    EXPECT_EQ(shown(), 0);
}

TEST_F(ScheduleInWindow, MenuItemOpensTheSheet) {
    QAction* item = controller->window->findChild<QAction*>("actionEffectSchedule");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
    EXPECT_TRUE(controller->window->findChild<QMenu*>("menuEffect")->actions().contains(item));
    item->trigger();
    EXPECT_TRUE(controller->timerSheet->isVisible());
    controller->timerSheet->cancelButton()->click();
}

TEST_F(StoredScheduleInWindow, StoredTimerArrayIsUsedAndNeverWritten) {
    const QString path = QSettings().fileName();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    EXPECT_EQ(controller->schedule.effectOf(0), 6);
    runFromRow(0);
    EXPECT_EQ(shown(), 6);
    tick(1);
    EXPECT_EQ(shown(), 6);
    tick(1);
    EXPECT_EQ(shown(), 5);
    tick(1);  // every other row lasts 0 s and is skipped
    EXPECT_EQ(shown(), 6);
    controller->timerTable->model()->setData(controller->timerTable->model()->index(3, 1), 9);
    controller->clickTimer(nullptr);
    controller->timerSheet->okButton()->click();

    controller.reset();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

TEST_F(BadStoredScheduleInWindow, ABadStoredScheduleGivesTheDefault) {
    EXPECT_EQ(controller->schedule.timerTableArray, default_schedule(7));
    runFromRow(6);
    tick(10);
    EXPECT_EQ(shown(), 0);
}
