// SPDX-License-Identifier: MIT
// The schedule sheet's table: one row per effect name; the column "duration" shows and takes the
// row's duration, every other column shows the effect's name.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

struct EffectSchedule;

class ScheduleTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The column identifiers, left to right.
    static const QStringList& columnIdentifiers();

    explicit ScheduleTableModel(EffectSchedule* schedule, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Whichever column was edited, the value replaces the row's duration as entered.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    EffectSchedule* schedule;
};
