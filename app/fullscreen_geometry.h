// SPDX-License-Identifier: MIT
// Where the full-screen picture goes. All rectangles are in the window system's global
// coordinates (origin at the top-left of the desktop, y downward), as Qt and X11 use them.
#pragma once

#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>

// The centre of a window's frame: (x + width * 0.5, y + height * 0.5).
QPointF frame_centre(const QRectF& frame);

// Whether p lies in r, the left and top edges included, the right and bottom edges not, so that a
// point on the border between two adjacent screens belongs to exactly one of them.
bool point_in_rect(const QPointF& p, const QRectF& r);

// The index of the first screen, in the system's order, whose geometry holds the centre of the
// main window's frame; the primary screen's index when none does.
int target_screen_index(const QRectF& mainWindowFrame, const QList<QRect>& screens, int primary);

// The full-screen window's rectangle: the display's bounds as the display has them after a mode
// switch (displayBounds when the switch reported them, otherwise the screen's geometry).
QRect full_screen_rect(const QRect& screenGeometry, const QRect& displayBounds);

// Whether a window's origin must be put back: true when it differs from the stored origin in
// either coordinate; a coordinate that is not a number counts as different.
bool origin_differs(const QPointF& origin, const QPointF& scrOrigin);
