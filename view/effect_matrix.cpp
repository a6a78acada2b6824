// SPDX-License-Identifier: MIT
#include "effect_matrix.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>

EffectMatrix::EffectMatrix(QWidget* parent) : QWidget(parent), group(new QButtonGroup(this)) {
    group->setExclusive(true);
}

void EffectMatrix::collectCells() {
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (!grid) return;
    rows = grid->rowCount();
    columns = grid->columnCount();
    QList<QAbstractButton*> found(rows * columns, nullptr);
    for (int i = 0; i < grid->count(); ++i) {
        auto* button = qobject_cast<QAbstractButton*>(grid->itemAt(i)->widget());
        if (!button) continue;
        int row, column, rowSpan, columnSpan;
        grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        found[row * columns + column] = button;
    }
    placed = found;
    for (QAbstractButton* b : std::as_const(found)) {
        if (!b) continue;
        b->setCheckable(true);
        cellList.append(b);
        group->addButton(b);
    }
}

int EffectMatrix::selectedIndex() const {
    QAbstractButton* b = group->checkedButton();
    return b ? static_cast<int>(placed.indexOf(b)) : -1;
}

int EffectMatrix::selectedRow() const {
    const int i = selectedIndex();
    return i < 0 || columns == 0 ? -1 : i / columns;
}

int EffectMatrix::selectedColumn() const {
    const int i = selectedIndex();
    return i < 0 || columns == 0 ? -1 : i % columns;
}

void EffectMatrix::selectCellAtRow(int row, int column) {
    const int i = row * columns + column;
    if (row >= 0 && column >= 0 && row < rows && column < columns && placed[i]) {
        placed[i]->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; clearing takes it out of that mode briefly.
    if (QAbstractButton* b = group->checkedButton()) {
        group->setExclusive(false);
        b->setChecked(false);
        group->setExclusive(true);
    }
}

QStringList EffectMatrix::cellTitles() const {
    QStringList titles;
    for (const QAbstractButton* b : cellList) titles.append(b->text());
    return titles;
}

void EffectMatrix::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) emit enabledChanged(isEnabled());
    QWidget::changeEvent(event);
}
