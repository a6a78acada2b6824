// SPDX-License-Identifier: MIT
#include "flow_layout.h"

#include <QWidget>
#include <algorithm>

FlowLayout::FlowLayout(QWidget* parent, int spacing) : QLayout(parent), gap(spacing) {}

FlowLayout::~FlowLayout() {
    while (QLayoutItem* item = takeAt(0)) delete item;
}

void FlowLayout::addItem(QLayoutItem* item) {
    items.append(item);
}

QLayoutItem* FlowLayout::takeAt(int index) {
    return index >= 0 && index < items.size() ? items.takeAt(index) : nullptr;
}

QSize FlowLayout::minimumSize() const {
    QSize size;
    for (const QLayoutItem* item : items) size = size.expandedTo(item->minimumSize());
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize FlowLayout::sizeHint() const {
    int width = 0, height = 0;
    for (const QLayoutItem* item : items) {
        if (item->isEmpty()) continue;
        width += item->sizeHint().width() + (width > 0 ? gap : 0);
        height = std::max(height, item->sizeHint().height());
    }
    const QMargins m = contentsMargins();
    return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    doLayout(rect, true);
}

int FlowLayout::doLayout(const QRect& rect, bool apply) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    int y = area.y();
    QList<QLayoutItem*> row;
    int rowWidth = 0, rowHeight = 0;
    const auto place_row = [&] {
        int x = area.x();
        for (QLayoutItem* item : row) {
            const QSize s = item->sizeHint();
            if (apply) item->setGeometry(QRect(QPoint(x, y + (rowHeight - s.height()) / 2), s));
            x += s.width() + gap;
        }
        if (!row.isEmpty()) y += rowHeight + gap;
        row.clear();
        rowWidth = rowHeight = 0;
    };
    for (QLayoutItem* item : items) {
        if (item->isEmpty()) continue;
        const QSize s = item->sizeHint();
        if (!row.isEmpty() && rowWidth + gap + s.width() > area.width()) place_row();
        rowWidth += (row.isEmpty() ? 0 : gap) + s.width();
        rowHeight = std::max(rowHeight, s.height());
        row.append(item);
    }
    place_row();
    const QMargins m = contentsMargins();
    return std::max(0, y - gap - area.y()) + m.top() + m.bottom();
}
