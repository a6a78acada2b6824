// SPDX-License-Identifier: MIT
// Loading the main window from MainWindow.ui: the view gets its outlets and the process state,
// every control with an "action" property is connected to its target, the menus are validated
// whenever they open, and the controller's WOBBLE_AWAKE slots run.
#pragma once

class Controller;
class QAction;
class QObject;
struct PipelineState;
struct ViewState;
struct CaptureState;

// Builds controller.window (not yet shown) and controller.ui.
void load_interface_file(Controller& controller, PipelineState& s, ViewState& v, CaptureState& c);

// Runs validateMenuItem on every menu item of the main window and applies the result.
void validate_menu_items(Controller& controller);

// Connects sender's clicked (a button) or triggered (a menu item) signal to the slot named by its
// "action" property on `target`, called with the sender. Returns false when target has no such
// slot.
bool connect_action(QObject* sender, QObject* target);
