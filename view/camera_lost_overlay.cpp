// SPDX-License-Identifier: MIT
#include "camera_lost_overlay.h"

#include <QCoreApplication>
#include <QPainter>
#include <QWidget>

namespace {

constexpr int kDimAlpha = 150;  // of 255: the last picture stays visible behind the message

}  // namespace

void paint_camera_lost_overlay(QWidget* view) {
    if (!view->property("cameraLost").toBool()) return;
    QPainter painter(view);
    painter.fillRect(view->rect(), QColor(0, 0, 0, kDimAlpha));
    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(view->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                     QCoreApplication::translate(
                         "MyMovieView", "Camera disconnected \u2014 waiting for it to come back"));
}
