// SPDX-License-Identifier: MIT
// The effect selector: a matrix of toggle cells of which at most one is selected. Its cells are
// the buttons placed in its grid layout (MainWindow.ui puts them there); the matrix itself sends
// no action, since the render pass reads its state.
#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

class EffectMatrix : public QWidget {
    Q_OBJECT

public:
    explicit EffectMatrix(QWidget* parent = nullptr);

    // Takes the buttons of the grid layout as the cells, row by row. Called once the form is
    // built; cells added later are not seen.
    void collectCells();

    int numberOfRows() const { return rows; }
    int numberOfColumns() const { return columns; }
    // The selected cell; -1 when no cell is selected.
    int selectedRow() const;
    int selectedColumn() const;
    // Selects the cell at (row, column), or none when either is out of range. Sends nothing.
    void selectCellAtRow(int row, int column);

    // The cells in row order, and their titles in the same order.
    QList<QAbstractButton*> cells() const { return cellList; }
    QStringList cellTitles() const;

signals:
    // The enabled state changed (normal mode switched), by whatever means.
    void enabledChanged(bool enabled);

protected:
    void changeEvent(QEvent* event) override;

private:
    int selectedIndex() const;

    QList<QAbstractButton*> cellList;  // the cells, row by row
    QList<QAbstractButton*> placed;    // row * columns + column; null where no cell is
    QButtonGroup* group;
    int rows = 0, columns = 0;
};
