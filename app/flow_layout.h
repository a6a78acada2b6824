// SPDX-License-Identifier: MIT
// A layout that places its items in a row and wraps to a new row where the width runs out, so the
// window's controls stay on screen at any width and scale factor. Rows are centred vertically
// on their tallest item.
#pragma once

#include <QLayout>
#include <QList>

class FlowLayout : public QLayout {
public:
    explicit FlowLayout(QWidget* parent, int spacing = 8);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(items.size()); }
    QLayoutItem* itemAt(int index) const override { return items.value(index); }
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return doLayout(QRect(0, 0, width, 0), false); }
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in rect when `apply`; returns the height used.
    int doLayout(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> items;
    int gap;  // pixels between items and between rows
};
