// SPDX-License-Identifier: MIT
// What the view shows over its last picture while the camera is away.
#pragma once

class QWidget;

// While view's "cameraLost" property is set, dims what view shows and writes the centred,
// translated message that the camera is being waited for. Called at the end of its paint.
void paint_camera_lost_overlay(QWidget* view);
