// SPDX-License-Identifier: MIT
// Full-screen presentation: the view moves into a borderless window over the display that holds
// the main window, the display is switched to the camera's size where the session allows it,
// and everything is put back on return.
#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>

#include "Controller.h"
#include "MyMovieView.h"
#include "error_msg.h"
#include "fullscreen_geometry.h"
#include "interface_file.h"
#include "pipeline_state.h"
#include "ui_MainWindow.h"

namespace {

QString fs_tr(const char* text) {
    return QCoreApplication::translate("FullScreen", text);
}

QAction* make_item(const QString& text, const char* action, QObject* controller, QWidget* owner) {
    auto* item = new QAction(text, owner);
    item->setProperty("action", QString::fromLatin1(action));
    item->setProperty("target", QStringLiteral("controller"));
    connect_action(item, controller);
    return item;
}

}  // namespace

void Controller::awakeFromNibFullScreen() {
    fullScrMenu = new QMenu(window);
    fullScrMenu->setObjectName(QStringLiteral("fullScrMenu"));
    QAction* stop = make_item(fs_tr("STOP"), "endFullScreen", this, fullScrMenu);
    stop->setObjectName(QStringLiteral("actionStopFullScreen"));
    fullScrMenu->addAction(stop);
    fullScrMenuFilter = new ContextMenuFilter(fullScrMenu, this);

    QAction* item = nullptr;
    for (QAction* a : window->findChildren<QAction*>()) {
        if (a->property("action").toString() == QLatin1String("changeFullScreen")) item = a;
    }
    if (!item) {
        item = make_item(fs_tr("Full Screen"), "changeFullScreen", this, window);
        item->setObjectName(QStringLiteral("actionFullScreen"));
        item->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_F), QKeySequence(Qt::Key_F11)});
        window->addAction(item);
        if (ui && ui->menuView) {
            ui->menuView->addSeparator();
            ui->menuView->addAction(item);
        }
    }

    connect(this, &Controller::willTerminate, this, &Controller::applicationWillTerminate);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &Controller::applicationWillTerminate);
}

void Controller::showFullScreenHint() {
    QMessageBox box(QMessageBox::Information, fs_tr("How to return back..."),
                    fs_tr("Control+Click, then you can select STOP from a popup menu."),
                    QMessageBox::NoButton, window);
    box.setObjectName(QStringLiteral("fullScreenHint"));
    box.addButton(fs_tr("I see."), QMessageBox::AcceptRole);
    box.exec();
}

QRect Controller::fullScreenTarget() const {
    const QList<QScreen*> screens = QGuiApplication::screens();
    QList<QRect> frames;
    for (QScreen* s : screens) frames.append(s->geometry());
    QScreen* primary = QGuiApplication::primaryScreen();
    const int index = target_screen_index(QRectF(window->frameGeometry()), frames,
                                          static_cast<int>(screens.indexOf(primary)));
    QScreen* target = index >= 0 && index < screens.size() ? screens[index] : primary;
    return target ? target->geometry() : window->frameGeometry();
}

void Controller::switchDisplayForCamera(QRect& bounds) {
    if (!displayModesProbed) {
        displayModesProbed = true;
        // Only an X11 session has the service; elsewhere full screen keeps the current mode.
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            displayModes = open_xrandr_display_modes();
        }
    }
    if (!displayModes || !pipeline || pipeline->LargeWidth <= 0 || pipeline->LargeHeight <= 0)
        return;
    const ModeSwitch result =
        displayModes->switchToMode({bounds.x(), bounds.y(), bounds.width(), bounds.height()},
                                   pipeline->LargeWidth, pipeline->LargeHeight);
    if (result.status == 0) {
        ScreenReconfigured = true;
    } else {
        error_msg("CGDisplaySwitchToMode", result.status);
    }
    const DisplayBounds& b = result.bounds;
    bounds = full_screen_rect(bounds, QRect(b.x, b.y, b.width, b.height));
}

void Controller::moveViewToFullScreen(const QRect& bounds) {
    originalFrame = myMovieView->geometry();
    viewParent = myMovieView->parentWidget();
    // A stand-in that takes space as the view does keeps its place in the main window's layout,
    // so the window neither shrinks nor reflows while the view is away.
    if (viewParent && viewParent->layout()) {
        auto* stand_in = new QWidget(viewParent);
        stand_in->setObjectName(QStringLiteral("myMovieViewPlaceholder"));
        stand_in->setSizePolicy(myMovieView->sizePolicy());
        stand_in->setMinimumSize(myMovieView->minimumSizeHint());
        delete viewParent->layout()->replaceWidget(myMovieView, stand_in);
        viewPlaceholder = stand_in;
    }
    myMovieView->setParent(fullScrWindow);
    myMovieView->installEventFilter(fullScrMenuFilter);
    myMovieView->setGeometry(0, 0, bounds.width(), bounds.height());
    myMovieView->setImageSize(QSizeF(bounds.size()));
    myMovieView->show();
}

void Controller::beginFullScreen(QObject*) {
    // A second entry would save the full-screen frame as the view's frame and make a second
    // window; full screen is simply kept.
    if (fullScrWindow) return;

    QRect bounds = fullScreenTarget();
    if (firstTime) {
        showFullScreenHint();
        firstTime = false;
    }
    switchDisplayForCamera(bounds);
    scrOrigin = QPointF(bounds.topLeft());

    fullScrWindow = new FullScreenWindow;
    setWindowDelegate(fullScrWindow);
    connect(fullScrWindow, &FullScreenWindow::moved, this, &Controller::windowDidMove);
    connect(fullScrWindow, &FullScreenWindow::escapePressed, this,
            [this] { endFullScreen(fullScrWindow); });
    // The window manager may close it (a close key): the view comes back all the same.
    connect(fullScrWindow, &FullScreenWindow::closing, this, [this](QWidget* w) {
        if (w == fullScrWindow) endFullScreen(w);
    });
    // Every key of the main window works in full screen too.
    for (QAction* a : window->findChildren<QAction*>()) {
        if (!a->shortcuts().isEmpty()) fullScrWindow->addAction(a);
    }
    fullScrWindow->setGeometry(bounds);
    moveViewToFullScreen(bounds);

    fullScrWindow->show();
    fullScrWindow->raise();
    fullScrWindow->activateWindow();
}

void Controller::endFullScreen(QObject*) {
    if (!fullScrWindow) return;
    FullScreenWindow* w = fullScrWindow;
    fullScrWindow = nullptr;

    if (pipeline) myMovieView->setImageSize(QSizeF(pipeline->LargeWidth, pipeline->LargeHeight));
    if (viewPlaceholder) {
        QWidget* stand_in = viewPlaceholder;
        delete stand_in->parentWidget()->layout()->replaceWidget(stand_in, myMovieView);
        delete stand_in;
    } else {
        myMovieView->setParent(viewParent);
    }
    myMovieView->setGeometry(originalFrame);
    myMovieView->removeEventFilter(fullScrMenuFilter);
    fullScrMenu->hide();
    myMovieView->show();

    w->close();
    w->deleteLater();

    if (ScreenReconfigured && displayModes) displayModes->restore();
    ScreenReconfigured = false;
    // The keyboard goes back to the main window, so its shortcuts work again at once.
    if (window) {
        window->raise();
        window->activateWindow();
    }
}

void Controller::changeFullScreen(QObject* sender) {
    if (fullScrWindow) {
        endFullScreen(sender);
    } else {
        beginFullScreen(sender);
    }
}

void Controller::windowDidMove(QObject* movedWindow) {
    if (!fullScrWindow || movedWindow != fullScrWindow) return;
    if (origin_differs(QPointF(fullScrWindow->pos()), scrOrigin)) {
        fullScrWindow->move(scrOrigin.toPoint());
    }
}

void Controller::applicationWillTerminate() {
    if (fullScrWindow) endFullScreen(nullptr);
}
