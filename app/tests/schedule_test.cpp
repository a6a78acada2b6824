// SPDX-License-Identifier: MIT
// The effect schedule in the real window: schedules as stored, the sheet with its table, OK and
// Cancel, the one-second tick acting on the view's controls, and the sheet in German.
#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTranslator>

#include "effect_matrix.h"
#include "schedule_app_fixture.h"
#include "schedule_logic.h"
#include "schedule_sheet.h"
#include "schedule_table_model.h"

namespace {

int duration_column() {
    return static_cast<int>(ScheduleTableModel::columnIdentifiers().indexOf("duration"));
}

class Schedule : public AppFixture {
protected:
    // The effect index the render pass would show now: 0 for the plain picture.
    int shown() const {
        const Controls c = view->controls();
        EXPECT_EQ(view->normalSwitch->isChecked(), view->normalMenuItem->isChecked());
        EXPECT_EQ(view->normalSwitch->isChecked(), !c.effectEnabled);
        return c.effectEnabled ? c.selectedRow * 3 + c.selectedColumn + 1 : 0;
    }
    // The effects shown after each of `seconds` ticks, a digit each.
    std::string tick(size_t seconds) {
        std::string shownAfter;
        for (size_t i = 0; i < seconds; ++i) {
            controller->timerFireMethod();
            shownAfter += static_cast<char>('0' + shown());
        }
        return shownAfter;
    }
    // Opens the sheet, selects `row` (none when -1) and presses OK.
    void runFromRow(int row) {
        controller->clickTimer(nullptr);
        ASSERT_TRUE(controller->timerSheet->isVisible());
        QTableView* table = controller->timerTable;
        row >= 0 ? table->selectRow(row) : table->clearSelection();
        controller->timerSheet->okButton()->click();
        ASSERT_FALSE(controller->timerSheet->isVisible());
    }
};

struct StoredCase {
    const char* name;
    QVariant stored;    // TimerArray; invalid: nothing stored
    int start;          // the row selected when OK is pressed
    std::string shown;  // the effect shown at OK, then after each tick
    friend void PrintTo(const StoredCase& c, std::ostream* os) { *os << c.name; }
};

class StoredSchedule : public Schedule, public ::testing::WithParamInterface<StoredCase> {
    void storeSettings(QSettings& settings) override {
        if (GetParam().stored.isValid()) settings.setValue("TimerArray", GetParam().stored);
    }
};

QVariant rows(std::initializer_list<QVariantList> list) {
    QVariantList l;
    for (const QVariantList& row : list) l.append(QVariant(row));
    return l;
}

// The default schedule from row 0: every effect for ten seconds, then the plain picture again.
std::string every_effect_for_ten_seconds() {
    std::string s = "0";
    for (int t = 1; t <= 70; ++t) s += static_cast<char>('0' + (t / 10) % 7);
    return s;
}

}  // namespace

// A stored schedule runs as stored, rows of no seconds skipped, bad rows dropped; a stored
// value of another shape, or with fewer good rows than effects, gives the default.
TEST_P(StoredSchedule, RunsAsStored) {
    runFromRow(GetParam().start);
    const std::string atOk(1, static_cast<char>('0' + shown()));  // before the ticks
    EXPECT_EQ(atOk + tick(GetParam().shown.size() - 1), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StoredSchedule,
    ::testing::Values(
        StoredCase{"NothingStoredNoRowSelected", QVariant(), -1, every_effect_for_ten_seconds()},
        StoredCase{"ZeroAndNegativeSkipped",
                   rows({{0, 2}, {1, 0}, {2, -5}, {3, 1}, {4, 0}, {5, -1}, {6, 3}}), 0,
                   "0036660036660"},
        StoredCase{"AllZeroChangeEveryTick",
                   rows({{0, 0}, {1, 0}, {2, -1}, {3, 0}, {4, 0}, {5, 0}, {6, 0}}), 2,
                   "2345601234"},
        StoredCase{"RowOrderIsFree", rows({{6, 1}, {0, 2}, {3, 1}, {3, 1}, {1, 0}, {2, 0}, {5, 0}}),
                   0, "6003360"},
        StoredCase{"HugeNegativeSeconds",
                   rows({{0, "-99999999999"}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}}), 0,
                   "012345601"},
        StoredCase{"BadRowsDropped",
                   QVariantList{QVariantList{0, 3}, QVariantList{9, 3}, QVariantList{1},
                                QVariantList{1, 4}, QVariantList{2, "ten"}, QVariantList{-1, 2},
                                QVariantList{3, 2.7}, QStringList{"4", "6"},
                                QVariantList{5, 1, "extra"}, "junk",
                                QVariantList{6, QVariantList{1}}, QVariantList{2, 2}},
                   1, "111334"},
        StoredCase{"NotAList", 42, 6, "66666666660"},
        StoredCase{"Short", rows({{0, 5}, {1, 5}}), 6, "66666666660"},
        StoredCase{"IndexOf7", rows({{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {7, 5}}), 6,
                   "66666666660"}),
    [](const auto& info) { return std::string(info.param.name); });

// Effect > Effect Schedule... (Ctrl+T) opens the sheet on the main window, the current row
// selected: the effects by the names of their controls, the seconds the only thing to edit. OK
// shows the selected row's effect at once and starts a one-second timer; its tick sets the
// controls' states without sending their actions. While the sheet is open the schedule runs on:
// the sheet reloads the counter from the current row, the row chosen at OK gets what is left,
// and seconds typed into the table are kept as typed and count when their row is next reached.
// Cancel, or Escape, stops the schedule and leaves the effect shown. Without a selected row the
// sheet opens on row 0.
TEST_F(Schedule, TheSheetStartsItEverySecondAndCancelStopsIt) {
    QSignalSpy clicks(view->normalSwitch, &QAbstractButton::clicked);
    QSignalSpy triggers(view->normalMenuItem, &QAction::triggered);
    view->deformMode->selectCellAtRow(1, 1);  // chosen by hand; the schedule overrides it
    QAction* item = controller->window->findChild<QAction*>("actionEffectSchedule");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
    EXPECT_TRUE(controller->window->findChild<QMenu*>("menuEffect")->actions().contains(item));
    item->trigger();
    TimerSheet* sheet = controller->timerSheet;
    ASSERT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->parentWidget(), controller->window);
    EXPECT_EQ(controller->timerTable->selectionModel()->selectedRows().value(0).row(), 0);
    QAbstractItemModel* model = controller->timerTable->model();
    ASSERT_EQ(model->rowCount(), 7);
    const QList<QAbstractButton*> cells = view->deformMode->cells();
    for (int r = 0; r < 7; ++r) {
        const QModelIndex name = model->index(r, 1 - duration_column());
        const QModelIndex seconds = model->index(r, duration_column());
        EXPECT_EQ(model->data(name), r ? cells[r - 1]->text() : view->normalSwitch->text());
        EXPECT_EQ(model->data(seconds), 10);
        EXPECT_FALSE(model->flags(name) & Qt::ItemIsEditable);
        EXPECT_TRUE(model->flags(seconds) & Qt::ItemIsEditable);
    }
    controller->timerTable->selectRow(6);
    sheet->okButton()->click();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(shown(), 6);
    ASSERT_NE(controller->autoChanger, nullptr);
    EXPECT_TRUE(controller->autoChanger->isActive());
    EXPECT_EQ(controller->autoChanger->interval(), 1000);
    controller->schedule.timerCounter = 1;
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == 0; }, 5000));
    EXPECT_EQ(tick(2), "00");
    controller->clickTimer(nullptr);
    model->setData(model->index(1, duration_column()), "3");
    EXPECT_EQ(controller->schedule.timerTableArray[1].duration, QVariant("3"));
    EXPECT_EQ(tick(4), "0000");
    controller->timerTable->selectRow(0);
    controller->timerSheet->okButton()->click();
    EXPECT_EQ(tick(10), "0000011122");
    EXPECT_EQ(clicks.count() + triggers.count(), 0);
    QPointer<QTimer> running = controller->autoChanger;
    controller->clickTimer(nullptr);
    controller->timerTable->selectRow(5);
    controller->timerSheet->cancelButton()->click();
    EXPECT_EQ(controller->autoChanger, nullptr);
    EXPECT_EQ(shown(), 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(running.isNull());
    runFromRow(4);
    controller->clickTimer(nullptr);
    QTest::keyClick(controller->timerSheet, Qt::Key_Escape);
    EXPECT_FALSE(controller->timerSheet->isVisible());
    EXPECT_EQ(controller->autoChanger, nullptr);
    EXPECT_EQ(shown(), 4);
    controller->timerTable->clearSelection();
    controller->clickTimer(nullptr);
    controller->timerSheet->okButton()->click();
    EXPECT_EQ(shown(), 0);
}

TEST(ScheduleGerman, TheSheetAndItsMenuItemSpeakGerman) {
    QTranslator german;
    ASSERT_TRUE(german.load(QLocale(QLocale::German, QLocale::Germany), "app", "_", ":/i18n"));
    QCoreApplication::installTranslator(&german);
    EXPECT_EQ(TimerSheet().windowTitle(), "Effektplan");
    EffectSchedule schedule;
    ScheduleTableModel model(&schedule);
    EXPECT_EQ(model.headerData(duration_column(), Qt::Horizontal).toString(), "Sekunden");
    EXPECT_EQ(model.headerData(1 - duration_column(), Qt::Horizontal).toString(), "Effekt");
    EXPECT_EQ(QCoreApplication::translate("EffectSchedule", "Effect Schedule..."), "Effektplan...");
    QCoreApplication::removeTranslator(&german);
}
