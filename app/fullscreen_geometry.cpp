// SPDX-License-Identifier: MIT
#include "fullscreen_geometry.h"

QPointF frame_centre(const QRectF& frame) {
    return {frame.x() + frame.width() * 0.5, frame.y() + frame.height() * 0.5};
}

bool point_in_rect(const QPointF& p, const QRectF& r) {
    return p.x() >= r.x() && p.x() < r.x() + r.width() && p.y() >= r.y() &&
           p.y() < r.y() + r.height();
}

int target_screen_index(const QRectF& mainWindowFrame, const QList<QRect>& screens, int primary) {
    const QPointF c = frame_centre(mainWindowFrame);
    for (qsizetype i = 0; i < screens.size(); ++i) {
        if (point_in_rect(c, QRectF(screens[i]))) return static_cast<int>(i);
    }
    return primary;
}

QRect full_screen_rect(const QRect& screenGeometry, const QRect& displayBounds) {
    return displayBounds.isEmpty() ? screenGeometry : displayBounds;
}

bool origin_differs(const QPointF& origin, const QPointF& scrOrigin) {
    // Written with == so that a NaN on either side compares unequal.
    return !(origin.x() == scrOrigin.x()) || !(origin.y() == scrOrigin.y());
}
