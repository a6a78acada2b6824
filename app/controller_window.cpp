// SPDX-License-Identifier: MIT
// The main window as a desktop program: wrapping controls, checked states that show in any
// theme, the Mirror and Full Size marks in step, the recording and schedule indicators, keys
// 1 to 6 that also end Normal, and the window's first size.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include "Controller.h"
#include "MyMovieView.h"
#include "effect_matrix.h"
#include "flow_layout.h"
#include "interface_file.h"
#include "pipeline_state.h"
#include "recording.h"
#include "ui_MainWindow.h"

namespace {

constexpr auto kIndicatorTick = std::chrono::milliseconds(250);

// Gives a checkable button the highlight colours while it is checked, so the state shows in
// styles and palettes (dark ones too) whose own checked look is a faint shade.
class CheckedLook final : public QObject {
public:
    explicit CheckedLook(QAbstractButton* button) : QObject(button), button(button) {
        QObject::connect(button, &QAbstractButton::toggled, this, [this] { apply(); });
        button->installEventFilter(this);
        apply();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ApplicationPaletteChange) {
            QTimer::singleShot(0, this, [this] { apply(); });
        }
        return false;
    }

private:
    void apply() {
        QPalette p = button->parentWidget() ? button->parentWidget()->palette() : QPalette();
        if (button->isChecked()) {
            for (auto group : {QPalette::Active, QPalette::Inactive}) {
                p.setColor(group, QPalette::Button, p.color(group, QPalette::Highlight));
                p.setColor(group, QPalette::ButtonText, p.color(group, QPalette::HighlightedText));
            }
            // Greyed out (Normal on), the selection still shows, half way to the button colour.
            const QColor h = p.color(QPalette::Disabled, QPalette::Highlight);
            const QColor b = p.color(QPalette::Disabled, QPalette::Button);
            p.setColor(QPalette::Disabled, QPalette::Button,
                       QColor((h.red() + b.red()) / 2, (h.green() + b.green()) / 2,
                              (h.blue() + b.blue()) / 2));
            button->setPalette(p);
        } else {
            button->setPalette(QPalette());
        }
    }
    QAbstractButton* button;
};

// Keys 1 to 6 while Normal is on: the effect items are greyed out then, so a twin of each,
// enabled only while Normal is on, takes the key; the view's setEffect then ends Normal.
void add_effect_key_twins(QMainWindow* window, QMenu* effectMenu) {
    for (QAction* item : effectMenu->actions()) {
        if (item->property("action").toString() != QLatin1String("setEffect")) continue;
        auto* twin = new QAction(item->text(), window);
        twin->setObjectName(item->objectName() + QStringLiteral("Key"));
        twin->setShortcuts(item->shortcuts());
        twin->setProperty("action", item->property("action"));
        twin->setProperty("target", item->property("target"));
        twin->setProperty("tag", item->property("tag"));
        twin->setProperty("keyTwin", true);
        window->addAction(twin);
    }
}

QString elapsed_text(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

void Controller::awakeWindow() {
    auto* flow = new FlowLayout(ui->controlBar, 10);
    flow->setContentsMargins(8, 6, 8, 6);
    for (QWidget* w : {static_cast<QWidget*>(ui->normalSwitch),
                       static_cast<QWidget*>(ui->deformMode), ui->switchBox, ui->pictureBox}) {
        flow->addWidget(w);
    }
    // The read-outs sit at the status bar's right end; messages (a saved picture) at its left.
    QStatusBar* bar = window->statusBar();
    bar->addPermanentWidget(ui->scheduleIndicator);
    bar->addPermanentWidget(ui->recIndicator);
    bar->addPermanentWidget(ui->rateBox);
    for (QAbstractButton* b : ui->controlBar->findChildren<QAbstractButton*>()) {
        if (b->isCheckable()) new CheckedLook(b);
    }
    ui->recIndicator->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: #c01c28;"
                       " border-radius: 4px; padding: 2px 6px; }"));
    add_effect_key_twins(window, ui->menuEffect);
    for (QAction* twin : window->actions()) {
        if (twin->property("keyTwin").toBool()) connect_action(twin, myMovieView);
    }
    // The Full Size and Record marks follow their buttons, however these are switched.
    connect(ui->sizeSwitch, &QAbstractButton::toggled, ui->actionFullSize, &QAction::setChecked);
    connect(ui->recButton, &QAbstractButton::toggled, ui->actionRecord, &QAction::setChecked);
    validate_menu_items(*this);

    indicatorTimer = new QTimer(this);
    indicatorTimer->setObjectName(QStringLiteral("indicatorTimer"));
    indicatorTimer->setInterval(kIndicatorTick);
    connect(indicatorTimer, &QTimer::timeout, this, &Controller::updateIndicators);
    indicatorTimer->start();
}

void Controller::switchRecord(QObject*) {
    if (ui->recButton->isEnabled()) ui->recButton->click();
}

void Controller::updateIndicators() {
    const bool recordingOn = recording && recording->RecordingOn;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (recordingOn && recordingStartedMs < 0) recordingStartedMs = now;
    if (!recordingOn) recordingStartedMs = -1;
    if (recordingOn) {
        ui->recIndicator->setText(
            tr("\u25CF Recording %1").arg(elapsed_text(now - recordingStartedMs)));
    }
    ui->recIndicator->setVisible(recordingOn);
    ui->scheduleIndicator->setVisible(autoChanger != nullptr);
}

void Controller::fitWindowToCamera() {
    if (!pipeline || pipeline->LargeWidth <= 0 || window->isMaximized() || window->isFullScreen())
        return;
    const QScreen* screen = window->screen();
    const QSize available = screen ? screen->availableGeometry().size() : QSize(1280, 1024);
    const QSize frame = window->frameGeometry().size() - window->size();
    const QSize camera(pipeline->LargeWidth, pipeline->LargeHeight);
    // The controls' height depends on the width (they wrap): settle in a few rounds.
    for (int round = 0; round < 3; ++round) {
        const QSize chrome = window->size() - myMovieView->size();
        const QSize room = available - frame - chrome;
        const bool fits = camera.width() <= room.width() && camera.height() <= room.height();
        const QSize picture = fits ? camera : camera.scaled(room, Qt::KeepAspectRatio);
        if (myMovieView->size() == picture) break;
        window->resize(picture + chrome);
        QCoreApplication::sendPostedEvents();
        if (window->layout()) window->layout()->activate();
    }
}
