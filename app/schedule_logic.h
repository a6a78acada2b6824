// SPDX-License-Identifier: MIT
// The effect schedule: which effect each row shows and for how many seconds, and the one-second
// tick that steps through the rows. It changes the effect controls' states only and never sends
// their actions; the render pass reads those states on its next frame.
#pragma once

#include <QList>
#include <QStringList>
#include <QVariant>

class QSettings;

// The states of the controls the schedule sets: the effect matrix (enabled, selected cell), the
// normal switch and its menu twin.
class EffectControls {
public:
    virtual ~EffectControls() = default;
    virtual void setMatrixEnabled(bool enabled) = 0;
    virtual void selectCell(int row, int column) = 0;
    virtual void setNormalSwitchOn(bool on) = 0;
    virtual void setNormalMenuItemOn(bool on) = 0;
};

// One row of the schedule: the effect index (0 the plain picture, 1 to 6 the matrix cells) and the
// duration as last stored or entered. The duration is always read through its integer value.
struct ScheduleRow {
    int effect = 0;
    QVariant duration;
    bool operator==(const ScheduleRow&) const = default;
};

// The integer value of a stored or entered number: a number is truncated toward zero; a text is
// read from its leading integer ("15", " 15s" and "15.9" give 15, "-3" gives -3) and counts as 0
// when it does not start with one. Values beyond the int range are clamped.
int int_value(const QVariant& value);

// Every effect for 10 seconds, in the order of the names.
QList<ScheduleRow> default_schedule(qsizetype effectCount);

// The schedule from a stored TimerArray value. A stored value that is not a list, an entry that is
// not a list of at least two elements, and an entry whose effect index is not a whole number in
// [0, effectCount) are not used: such entries are dropped, and when fewer than effectCount rows
// remain the default schedule is used instead. Only the first effectCount rows are kept, since the
// tick visits effectCount rows. Durations are kept as stored (texts included).
QList<ScheduleRow> schedule_from_stored(const QVariant& stored, qsizetype effectCount);

// Reads the TimerArray setting once; the settings are never written.
QList<ScheduleRow> read_timer_array(const QSettings& settings, qsizetype effectCount);

// The schedule's state and tick. effectNames[0] is the normal switch's title, effectNames[k] the
// title of matrix cell k - 1 in the matrix's own cell order, row by row.
struct EffectSchedule {
    QStringList effectNames;
    QList<ScheduleRow> timerTableArray;  // effectNames.size() rows
    int timerIndex = 0;                  // current row
    int timerCounter = 0;                // seconds left for the current row

    EffectSchedule() = default;
    EffectSchedule(QStringList names, QList<ScheduleRow> rows)
        : effectNames(std::move(names)), timerTableArray(std::move(rows)) {}

    int rowCount() const { return static_cast<int>(effectNames.size()); }
    // The row's duration in seconds through its integer value; 0 for a row that does not exist.
    int durationOf(int row) const;
    // The row's effect index; 0 for a row that does not exist.
    int effectOf(int row) const;

    // The sheet opens: without a selected row (-1) the schedule's current row becomes row 0; the
    // counter is loaded from the current row's duration. Returns the row the table selects.
    int prepareSheet(int selectedRow);
    // The sheet was confirmed: the selected row (row 0 when none) becomes current and is shown
    // at once. The counter keeps the seconds it has left.
    void startFromRow(int selectedRow, EffectControls& controls);

    // Shows the effect of row timerIndex: the plain picture turns the normal switch and menu item
    // on and disables the matrix; effect index k selects cell (k - 1) / 3, (k - 1) % 3.
    void adjustModeForTimer(EffectControls& controls) const;
    // One second has passed: counts down and, at the end of a row's period, moves to the next row
    // with a positive duration (at most one round), then shows it.
    void timerFireMethod(EffectControls& controls);
};
