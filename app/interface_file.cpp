// SPDX-License-Identifier: MIT
#include "interface_file.h"

#include <QAbstractButton>
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QSignalBlocker>

#include "Controller.h"
#include "MyMovieView.h"
#include "effect_matrix.h"
#include "ui_MainWindow.h"

namespace {

QMetaMethod action_method(QObject* target, const QByteArray& name) {
    const QMetaObject* mo = target->metaObject();
    const int i = mo->indexOfMethod(QMetaObject::normalizedSignature(name + "(QObject*)"));
    return i < 0 ? QMetaMethod() : mo->method(i);
}

void run_awake_slots(Controller& controller) {
    const QMetaObject* mo = controller.metaObject();
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (qstrcmp(m.tag(), "WOBBLE_AWAKE") == 0 && m.parameterCount() == 0) m.invoke(&controller);
    }
}

}  // namespace

bool connect_action(QObject* sender, QObject* target) {
    const QMetaMethod method = action_method(target, sender->property("action").toByteArray());
    if (!method.isValid()) return false;
    if (auto* button = qobject_cast<QAbstractButton*>(sender)) {
        QObject::connect(button, &QAbstractButton::clicked, target,
                         [=] { method.invoke(target, Q_ARG(QObject*, button)); });
    } else if (auto* item = qobject_cast<QAction*>(sender)) {
        QObject::connect(item, &QAction::triggered, target, [=](bool checked) {
            // A menu item's state changes only through its action, as the actions expect:
            // undo the toggle Qt made on the way.
            if (item->isCheckable()) {
                const QSignalBlocker block(item);
                item->setChecked(!checked);
            }
            method.invoke(target, Q_ARG(QObject*, item));
        });
    } else {
        return false;
    }
    return true;
}

void load_interface_file(Controller& controller, PipelineState& s, ViewState& v, CaptureState& c) {
    auto* window = new QMainWindow;
    controller.ui = std::make_unique<Ui::MainWindow>();
    Ui::MainWindow& ui = *controller.ui;
    ui.setupUi(window);

    MyMovieView* view = ui.myMovieView;
    ui.deformMode->collectCells();
    view->deformMode = ui.deformMode;
    view->sizeSwitch = ui.sizeSwitch;
    view->normalSwitch = ui.normalSwitch;
    view->fpsText = ui.fpsText;
    view->normalMenuItem = ui.normalMenuItem;
    view->initWithFrame(s, v, c);

    controller.myMovieView = view;
    controller.window = window;
    controller.pipeline = &s;
    controller.capture = &c;
    controller.setWindowDelegate(window);

    // Target/action pairs, named in the form by the "action" and "target" properties.
    QList<QObject*> senders;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) senders.append(b);
    for (QAction* a : window->findChildren<QAction*>()) senders.append(a);
    for (QObject* sender : std::as_const(senders)) {
        const QString action = sender->property("action").toString();
        if (action.isEmpty()) continue;
        const QString targetName = sender->property("target").toString();
        QObject* target = targetName == QLatin1String("view") ? static_cast<QObject*>(view)
                                                              : static_cast<QObject*>(&controller);
        if (!connect_action(sender, target)) {
            // Nothing answers this control in this build.
            sender->setProperty("unanswered", true);
            if (auto* w = qobject_cast<QWidget*>(sender)) w->setEnabled(false);
            if (auto* a = qobject_cast<QAction*>(sender)) a->setEnabled(false);
        }
    }

    // Menu items are validated whenever a menu opens, and at once when normal is switched so
    // that the effect items' shortcuts follow.
    for (QMenu* menu : window->menuBar()->findChildren<QMenu*>()) {
        QObject::connect(menu, &QMenu::aboutToShow, &controller,
                         [&controller] { validate_menu_items(controller); });
    }
    QObject::connect(ui.deformMode, &EffectMatrix::enabledChanged, &controller,
                     [&controller] { validate_menu_items(controller); });
    validate_menu_items(controller);

    run_awake_slots(controller);
}

void validate_menu_items(Controller& controller) {
    if (!controller.window || !controller.myMovieView) return;
    for (QAction* a : controller.window->findChildren<QAction*>()) {
        if (a->property("action").toString().isEmpty() || a->property("unanswered").toBool())
            continue;
        a->setEnabled(controller.myMovieView->validateMenuItem(a));
    }
}
