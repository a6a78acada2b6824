// SPDX-License-Identifier: MIT
// The borderless window that holds the view while the picture is shown full screen, and the
// filter that gives the view its full-screen context menu.
#pragma once

#include <QWidget>

class QMenu;

// Borderless and kept above other windows. Reports its moves (the controller puts it back) and
// Escape (the controller ends full screen).
class FullScreenWindow : public QWidget {
    Q_OBJECT
public:
    explicit FullScreenWindow(QWidget* parent = nullptr);

signals:
    void moved(QWidget* window);
    void escapePressed();
    // The window is about to close, by the program or by the window manager.
    void closing(QWidget* window);

protected:
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

// Pops `menu` up on the watched widget's context-menu request (right click) and on Control+Click.
class ContextMenuFilter : public QObject {
    Q_OBJECT
public:
    ContextMenuFilter(QMenu* menu, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu* menu;
};
