// SPDX-License-Identifier: MIT
#include "schedule_table_model.h"

#include "schedule_logic.h"

namespace {

bool is_duration_column(int column) {
    const QStringList& ids = ScheduleTableModel::columnIdentifiers();
    return column >= 0 && column < ids.size() && ids[column] == QLatin1String("duration");
}

}  // namespace

const QStringList& ScheduleTableModel::columnIdentifiers() {
    static const QStringList ids{QStringLiteral("effect"), QStringLiteral("duration")};
    return ids;
}

ScheduleTableModel::ScheduleTableModel(EffectSchedule* schedule, QObject* parent)
    : QAbstractTableModel(parent), schedule(schedule) {}

int ScheduleTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : schedule->rowCount();
}

int ScheduleTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columnIdentifiers().size());
}

QVariant ScheduleTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= schedule->timerTableArray.size()) return {};
    const ScheduleRow& row = schedule->timerTableArray[index.row()];
    if (is_duration_column(index.column())) {
        // The editor gets text, so that whatever the user types is kept as entered.
        if (role == Qt::DisplayRole) return row.duration;
        if (role == Qt::EditRole) return row.duration.toString();
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    if (role != Qt::DisplayRole) return {};
    if (row.effect < 0 || row.effect >= schedule->effectNames.size()) return {};
    return schedule->effectNames[row.effect];
}

QVariant ScheduleTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return is_duration_column(section) ? tr("Seconds") : tr("Effect");
}

Qt::ItemFlags ScheduleTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (is_duration_column(index.column())) f |= Qt::ItemIsEditable;
    return f;
}

bool ScheduleTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) return false;
    if (index.row() >= schedule->timerTableArray.size()) return false;
    schedule->timerTableArray[index.row()].duration = value;
    const int column = static_cast<int>(columnIdentifiers().indexOf(QStringLiteral("duration")));
    const QModelIndex duration = this->index(index.row(), column);
    emit dataChanged(duration, duration, {Qt::DisplayRole, Qt::EditRole});
    return true;
}
