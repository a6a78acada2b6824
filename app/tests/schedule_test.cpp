// SPDX-License-Identifier: MIT
// The effect schedule's rows, tick and table, without a window.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "schedule_logic.h"
#include "schedule_table_model.h"

namespace {

const QStringList kNames{"Normal", "Wave", "Exposure", "Trace", "Delay", "Scatter", "Paint"};

// The controls' states as the view would hold them; an effect index is read back from them.
struct FakeControls : EffectControls {
    bool matrixEnabled = true;
    int row = 0, column = 0;
    bool normalSwitch = false, normalMenuItem = false;
    void setMatrixEnabled(bool e) override { matrixEnabled = e; }
    void selectCell(int r, int c) override { row = r, column = c; }
    void setNormalSwitchOn(bool on) override { normalSwitch = on; }
    void setNormalMenuItemOn(bool on) override { normalMenuItem = on; }
    // The effect index the render pass would show: 0 for the plain picture.
    int shown() const {
        EXPECT_EQ(normalSwitch, normalMenuItem);
        EXPECT_EQ(normalSwitch, !matrixEnabled);
        return normalSwitch ? 0 : row * 3 + column + 1;
    }
};

EffectSchedule schedule_with(std::initializer_list<std::pair<int, QVariant>> rows) {
    QList<ScheduleRow> list;
    for (const auto& [e, d] : rows) list.append({e, d});
    return EffectSchedule(kNames, list);
}

// Confirms the sheet with the given row selected, as OK does after the sheet opened.
void open_and_confirm(EffectSchedule& s, FakeControls& c, int selected) {
    s.prepareSheet(selected);
    s.startFromRow(selected, c);
}

// The effect shown after each of `ticks` seconds.
std::vector<int> run(EffectSchedule& s, FakeControls& c, int ticks) {
    std::vector<int> shown;
    for (int i = 0; i < ticks; ++i) {
        s.timerFireMethod(c);
        shown.push_back(c.shown());
    }
    return shown;
}

}  // namespace

TEST(EffectSchedule, DefaultIsEveryEffectForTenSecondsAndCyclesBackAfterSeventyTicks) {
    EffectSchedule s(kNames, default_schedule(kNames.size()));
    ASSERT_EQ(s.timerTableArray.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(s.effectOf(i), i);
        EXPECT_EQ(s.durationOf(i), 10);
    }
    FakeControls c;
    c.row = 1, c.column = 2;  // an effect chosen by hand is overridden at once
    open_and_confirm(s, c, 0);
    EXPECT_EQ(c.shown(), 0);
    const std::vector<int> shown = run(s, c, 70);
    for (int t = 1; t <= 70; ++t) {
        EXPECT_EQ(shown[t - 1], (t / 10) % 7) << "after " << t << " s";
    }
    EXPECT_EQ(c.shown(), 0);
    EXPECT_EQ(s.timerIndex, 0);
    EXPECT_EQ(s.timerCounter, 10);
}

TEST(EffectSchedule, EffectIndexSelectsRowAndColumnOfTheMatrix) {
    EffectSchedule s = schedule_with({{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}});
    FakeControls c;
    const int cells[7][2] = {{-1, -1}, {0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}};
    for (int k = 1; k < 7; ++k) {
        s.timerIndex = k;
        s.adjustModeForTimer(c);
        EXPECT_TRUE(c.matrixEnabled);
        EXPECT_FALSE(c.normalSwitch);
        EXPECT_EQ(c.row, cells[k][0]);
        EXPECT_EQ(c.column, cells[k][1]);
    }
    s.timerIndex = 0;
    s.adjustModeForTimer(c);
    EXPECT_FALSE(c.matrixEnabled);
    EXPECT_TRUE(c.normalSwitch);
    EXPECT_TRUE(c.normalMenuItem);
    EXPECT_EQ(c.row, 1);  // the selection stays where it was
    EXPECT_EQ(c.column, 2);
}

TEST(EffectSchedule, RowsOfZeroOrNegativeSecondsAreSkipped) {
    EffectSchedule s = schedule_with({{0, 2}, {1, 0}, {2, -5}, {3, 1}, {4, 0}, {5, -1}, {6, 3}});
    FakeControls c;
    open_and_confirm(s, c, 0);
    EXPECT_EQ(run(s, c, 12), (std::vector<int>{0, 3, 6, 6, 6, 0, 0, 3, 6, 6, 6, 0}));
}

TEST(EffectSchedule, AllRowsZeroChangeTheEffectEveryTickOneRowAtATime) {
    EffectSchedule s = schedule_with({{0, 0}, {1, 0}, {2, -1}, {3, 0}, {4, 0}, {5, 0}, {6, 0}});
    FakeControls c;
    open_and_confirm(s, c, 2);
    EXPECT_EQ(c.shown(), 2);
    EXPECT_EQ(run(s, c, 9), (std::vector<int>{3, 4, 5, 6, 0, 1, 2, 3, 4}));
    EXPECT_LE(s.timerCounter, 0);
}

TEST(EffectSchedule, RowOrderNeedNotFollowTheEffectOrder) {
    EffectSchedule s = schedule_with({{6, 1}, {0, 2}, {3, 1}, {3, 1}, {1, 0}, {2, 0}, {5, 0}});
    FakeControls c;
    open_and_confirm(s, c, 0);
    EXPECT_EQ(c.shown(), 6);
    EXPECT_EQ(run(s, c, 6), (std::vector<int>{0, 0, 3, 3, 6, 0}));
}

TEST(EffectSchedule, FirstPeriodAfterOkUsesTheSecondsLeftOnTheCounter) {
    EffectSchedule s(kNames, default_schedule(kNames.size()));
    s.timerTableArray[4].duration = 3;
    FakeControls c;
    open_and_confirm(s, c, 0);
    run(s, c, 4);  // 6 s left on row 0
    // The sheet opens again with row 0 current: the counter is reloaded to 10 and keeps running
    // down while the user picks row 4.
    EXPECT_EQ(s.prepareSheet(0), 0);
    EXPECT_EQ(s.timerCounter, 10);
    run(s, c, 3);
    s.startFromRow(4, c);
    EXPECT_EQ(c.shown(), 4);
    const std::vector<int> shown = run(s, c, 8);
    EXPECT_EQ(shown, (std::vector<int>{4, 4, 4, 4, 4, 4, 5, 5}));
}

TEST(EffectSchedule, SheetWithoutSelectionStartsAtRowZero) {
    EffectSchedule s = schedule_with({{0, 4}, {1, 9}, {2, 10}, {3, 10}, {4, 10}, {5, 10}, {6, 10}});
    s.timerIndex = 3;
    EXPECT_EQ(s.prepareSheet(-1), 0);
    EXPECT_EQ(s.timerCounter, 4);
    s.timerIndex = 2;
    EXPECT_EQ(s.prepareSheet(5), 2);  // a selected row keeps the current row
    EXPECT_EQ(s.timerCounter, 10);
    FakeControls c;
    s.startFromRow(-1, c);
    EXPECT_EQ(s.timerIndex, 0);
    EXPECT_EQ(c.shown(), 0);
}

TEST(EffectSchedule, DurationsAreReadThroughTheirIntegerValue) {
    EXPECT_EQ(int_value(QVariant(15)), 15);
    EXPECT_EQ(int_value(QVariant(QStringLiteral("15"))), 15);
    EXPECT_EQ(int_value(QVariant(QStringLiteral("  15 seconds"))), 15);
    EXPECT_EQ(int_value(QVariant(QStringLiteral("12.9"))), 12);
    EXPECT_EQ(int_value(QVariant(QStringLiteral("-7"))), -7);
    EXPECT_EQ(int_value(QVariant(QStringLiteral("+8"))), 8);
    EXPECT_EQ(int_value(QVariant(QStringLiteral("ten"))), 0);
    EXPECT_EQ(int_value(QVariant(QStringLiteral(""))), 0);
    EXPECT_EQ(int_value(QVariant(QStringLiteral("99999999999999"))), INT_MAX);
    EXPECT_EQ(int_value(QVariant(QStringLiteral("-99999999999999"))), INT_MIN);
    EXPECT_EQ(int_value(QVariant(9.99)), 9);
    EXPECT_EQ(int_value(QVariant(-2.5)), -2);
    EXPECT_EQ(int_value(QVariant(1e300)), INT_MAX);
    EXPECT_EQ(int_value(QVariant(std::nan(""))), 0);
    EXPECT_EQ(int_value(QVariant(qlonglong(1) << 40)), INT_MAX);
    EXPECT_EQ(int_value(QVariant()), 0);
    EXPECT_EQ(int_value(QVariant(QVariantList{1, 2})), 0);
}

TEST(EffectSchedule, ExtremeDurationsNeitherOverflowNorStall) {
    EffectSchedule s = schedule_with(
        {{0, QStringLiteral("-99999999999")}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}});
    FakeControls c;
    open_and_confirm(s, c, 0);
    EXPECT_EQ(s.timerCounter, INT_MIN);
    EXPECT_EQ(run(s, c, 8), (std::vector<int>{1, 2, 3, 4, 5, 6, 0, 1}));
}

// ---- The table shown in the sheet ----

TEST(ScheduleTable, ShowsOneRowPerEffectNameWithNameAndDuration) {
    EffectSchedule s(kNames, default_schedule(kNames.size()));
    ScheduleTableModel model(&s);
    ASSERT_EQ(model.rowCount(), 7);
    ASSERT_EQ(model.columnCount(), 2);
    const int duration = ScheduleTableModel::columnIdentifiers().indexOf("duration");
    ASSERT_GE(duration, 0);
    const int name = 1 - duration;
    EXPECT_EQ(model.data(model.index(0, name)).toString(), "Normal");
    EXPECT_EQ(model.data(model.index(6, name)).toString(), "Paint");
    EXPECT_EQ(model.data(model.index(3, duration)).toInt(), 10);
    EXPECT_TRUE(model.flags(model.index(3, duration)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.flags(model.index(3, name)) & Qt::ItemIsEditable);

    s.timerTableArray[2].effect = 5;  // the name follows the row's effect index
    EXPECT_EQ(model.data(model.index(2, name)).toString(), "Scatter");
}

TEST(ScheduleTable, EveryEditIsTakenAsTheDurationAsEntered) {
    EffectSchedule s(kNames, default_schedule(kNames.size()));
    ScheduleTableModel model(&s);
    const int duration = ScheduleTableModel::columnIdentifiers().indexOf("duration");
    ASSERT_TRUE(model.setData(model.index(2, duration), QStringLiteral("15")));
    EXPECT_EQ(s.timerTableArray[2].duration, QVariant(QStringLiteral("15")));
    EXPECT_EQ(s.durationOf(2), 15);
    EXPECT_EQ(model.data(model.index(2, duration), Qt::EditRole).toString(), "15");
    // An edit of another column still replaces the duration, never the effect.
    ASSERT_TRUE(model.setData(model.index(4, 1 - duration), QStringLiteral("7")));
    EXPECT_EQ(s.effectOf(4), 4);
    EXPECT_EQ(s.durationOf(4), 7);
    ASSERT_TRUE(model.setData(model.index(5, duration), QStringLiteral("soon")));
    EXPECT_EQ(s.durationOf(5), 0);
}

TEST(ScheduleTable, AnEditTakesEffectWhenItsRowIsNextReached) {
    EffectSchedule s(kNames, default_schedule(kNames.size()));
    ScheduleTableModel model(&s);
    const int duration = ScheduleTableModel::columnIdentifiers().indexOf("duration");
    FakeControls c;
    open_and_confirm(s, c, 0);
    run(s, c, 3);
    model.setData(model.index(0, duration), QStringLiteral("2"));  // current row: not reloaded
    model.setData(model.index(1, duration), QStringLiteral("3"));  // next row
    EXPECT_EQ(s.timerCounter, 7);
    std::vector<int> shown = run(s, c, 12);
    EXPECT_EQ(shown, (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2}));
    // Row 0 comes round again with its new 2 seconds.
    s.timerIndex = 6, s.timerCounter = 1;
    shown = run(s, c, 3);
    EXPECT_EQ(shown, (std::vector<int>{0, 0, 1}));
}

// ---- Stored schedules ----

TEST(StoredSchedule, WellFormedRowsAreUsedAsStored) {
    QVariantList stored;
    for (int i = 6; i >= 0; --i) stored.append(QVariant(QVariantList{i, i + 1}));
    const QList<ScheduleRow> rows = schedule_from_stored(stored, 7);
    ASSERT_EQ(rows.size(), 7);
    EXPECT_EQ(rows[0].effect, 6);
    EXPECT_EQ(int_value(rows[0].duration), 7);
    EXPECT_EQ(rows[6].effect, 0);
}

struct BadStored {
    const char* name;
    QVariant stored;
    QList<ScheduleRow> expected;  // empty: the default schedule
};
void PrintTo(const BadStored& c, std::ostream* os) { *os << c.name; }

class StoredScheduleBad : public ::testing::TestWithParam<BadStored> {};

QVariantList rows7(QVariant (*make)(int)) {
    QVariantList l;
    for (int i = 0; i < 7; ++i) l.append(make(i));
    return l;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, StoredScheduleBad,
    ::testing::Values(
        BadStored{"NotAList", QVariant(42), {}},
        BadStored{"Text", QVariant(QStringLiteral("0,10,1,10")), {}},
        BadStored{
            "FlatNumbers", QVariant(QVariantList{0, 10, 1, 10, 2, 10, 3, 10, 4, 10, 5, 10, 6}), {}},
        BadStored{
            "RowsOfOne", QVariant(rows7([](int i) { return QVariant(QVariantList{i}); })), {}},
        BadStored{"Empty", QVariant(QVariantList{}), {}},
        BadStored{"Short", QVariant(QVariantList{QVariantList{0, 5}, QVariantList{1, 5}}), {}},
        BadStored{"OutOfRangeIndices",
                  QVariant(rows7([](int i) {
                      return QVariant(QVariantList{i * 3 - 4, 5});
                  })),
                  {}},
        BadStored{
            "TextIndex",
            QVariant(
                rows7([](int i) {
                    return QVariant(QVariantList{i == 3 ? QVariant("three") : QVariant(i), 5});
                })),
            {}},
        BadStored{"MapRows",
                  QVariant(
                      rows7([](int) {
                          return QVariant(QVariantMap{{"a", 1}});
                      })),
                  {}},
        BadStored{"NestedList",
                  QVariant(
                      rows7([](int i) {
                          return QVariant(QVariantList{QVariantList{i}, QVariantList{5}});
                      })),
                  {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(StoredScheduleBad, FallsBackToTheDefaultSchedule) {
    const QList<ScheduleRow> rows = schedule_from_stored(GetParam().stored, 7);
    EXPECT_EQ(rows, default_schedule(7));
    EffectSchedule s(kNames, rows);
    FakeControls c;
    open_and_confirm(s, c, 6);
    run(s, c, 100);  // never reads past a row's end
    EXPECT_EQ(c.shown(), (6 + 10) % 7);
}

TEST(StoredSchedule, BadRowsAreDroppedWhenEnoughGoodOnesRemain) {
    QVariantList stored{QVariantList{0, 3},
                        QVariantList{9, 3},
                        QVariantList{1},
                        QVariantList{1, 4},
                        QVariantList{2, "ten"},
                        QVariantList{-1, 2},
                        QVariantList{3, 2.7},
                        QStringList{"4", "6"},
                        QVariantList{5, 1, "extra"},
                        "junk",
                        QVariantList{6, QVariantList{1}},
                        QVariantList{2, 2},
                        QVariantList{3, 3}};
    const QList<ScheduleRow> rows = schedule_from_stored(stored, 7);
    ASSERT_EQ(rows.size(), 7);
    const int effects[7] = {0, 1, 2, 3, 4, 5, 6};
    const int seconds[7] = {3, 4, 0, 2, 6, 1, 0};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(rows[i].effect, effects[i]) << i;
        EXPECT_EQ(int_value(rows[i].duration), seconds[i]) << i;
    }
    // Text that is no number counts as 0 seconds: the row is skipped.
    EffectSchedule s(kNames, rows);
    FakeControls c;
    open_and_confirm(s, c, 1);
    EXPECT_EQ(run(s, c, 5), (std::vector<int>{1, 1, 3, 3, 4}));
}

TEST(StoredSchedule, IsReadFromSettingsOnceAndNeverWritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("wobblescope.conf");
    {
        QSettings write(path, QSettings::IniFormat);
        QVariantList stored;
        for (int i = 0; i < 7; ++i) stored.append(QVariant(QVariantList{6 - i, 20 + i}));
        write.setValue("TimerArray", stored);
        write.setValue("Other", 1);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    {
        QSettings settings(path, QSettings::IniFormat);
        const QList<ScheduleRow> rows = read_timer_array(settings, 7);
        ASSERT_EQ(rows.size(), 7);
        EXPECT_EQ(rows[0].effect, 6);
        EXPECT_EQ(int_value(rows[6].duration), 26);
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);

    QSettings empty(dir.filePath("none.conf"), QSettings::IniFormat);
    EXPECT_EQ(read_timer_array(empty, 7), default_schedule(7));
    // A hand-edited value that is no list at all.
    QSettings bad(dir.filePath("bad.conf"), QSettings::IniFormat);
    bad.setValue("TimerArray", "0 10 1 10");
    EXPECT_EQ(read_timer_array(bad, 7), default_schedule(7));
}
