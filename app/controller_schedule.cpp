// SPDX-License-Identifier: MIT
// The effect schedule: the sheet with its table, and the one-second timer that switches the
// effects by setting the view's controls.
#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTimer>

#include "Controller.h"
#include "MyMovieView.h"
#include "effect_matrix.h"
#include "interface_file.h"
#include "schedule_sheet.h"
#include "schedule_table_model.h"
#include "ui_MainWindow.h"

namespace {

constexpr auto kScheduleTick = std::chrono::milliseconds(1000);

// The view's controls as the schedule sets them: states only, no action is sent (the buttons'
// and menu items' actions answer clicked and triggered, which setting a state does not emit).
class ViewControls final : public EffectControls {
public:
    explicit ViewControls(MyMovieView* view) : view(view) {}
    void setMatrixEnabled(bool enabled) override { view->deformMode->setEnabled(enabled); }
    void selectCell(int row, int column) override {
        view->deformMode->selectCellAtRow(row, column);
    }
    void setNormalSwitchOn(bool on) override { view->normalSwitch->setChecked(on); }
    void setNormalMenuItemOn(bool on) override {
        if (view->normalMenuItem) view->normalMenuItem->setChecked(on);
    }

private:
    MyMovieView* view;
};

}  // namespace

void Controller::awakeFromNibSchedule() {
    QStringList names{myMovieView->normalSwitch->text()};
    names += myMovieView->deformMode->cellTitles();
    QSettings settings;
    schedule = EffectSchedule(names, read_timer_array(settings, names.size()));

    timerSheet = new TimerSheet(window);
    timerTable = timerSheet->table();
    timerTableModel = new ScheduleTableModel(&schedule, timerSheet);
    timerTable->setModel(timerTableModel);
    timerTable->resizeColumnsToContents();
    connect(timerSheet->okButton(), &QPushButton::clicked, this,
            [this] { clickTimerOK(timerSheet->okButton()); });
    connect(timerSheet->cancelButton(), &QPushButton::clicked, this,
            [this] { clickTimerCancel(timerSheet->cancelButton()); });
    connect(timerSheet, &QDialog::finished, this, &Controller::timerSheetDidEnd);

    // The menu item that opens the sheet, unless the form already has one.
    for (QAction* a : window->findChildren<QAction*>()) {
        if (a->property("action").toString() == QLatin1String("clickTimer")) return;
    }
    auto* item =
        new QAction(QCoreApplication::translate("EffectSchedule", "Effect Schedule..."), window);
    item->setObjectName(QStringLiteral("actionEffectSchedule"));
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    item->setProperty("action", QStringLiteral("clickTimer"));
    item->setProperty("target", QStringLiteral("controller"));
    connect_action(item, this);
    window->addAction(item);
    if (ui && ui->menuEffect) {
        ui->menuEffect->addSeparator();
        ui->menuEffect->addAction(item);
    }
}

int Controller::selectedTimerRow() const {
    const QModelIndexList rows = timerTable->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void Controller::clickTimer(QObject*) {
    if (timerSheet->isVisible()) return;
    const int row = schedule.prepareSheet(selectedTimerRow());
    timerTable->selectRow(row);
    timerSheet->open();
}

void Controller::clickTimerOK(QObject*) {
    timerSheet->done(1);
}

void Controller::clickTimerCancel(QObject*) {
    timerSheet->done(0);
}

void Controller::timerSheetDidEnd(int returnCode) {
    if (autoChanger) {
        autoChanger->stop();
        autoChanger->deleteLater();
        autoChanger = nullptr;
    }
    if (returnCode == 1) {
        ViewControls controls(myMovieView);
        schedule.startFromRow(selectedTimerRow(), controls);
        autoChanger = new QTimer(this);
        autoChanger->setObjectName(QStringLiteral("autoChanger"));
        autoChanger->setInterval(kScheduleTick);
        connect(autoChanger, &QTimer::timeout, this, &Controller::timerFireMethod);
        autoChanger->start();
    }
    timerSheet->hide();
}

void Controller::adjustModeForTimer() {
    ViewControls controls(myMovieView);
    schedule.adjustModeForTimer(controls);
}

void Controller::timerFireMethod() {
    ViewControls controls(myMovieView);
    schedule.timerFireMethod(controls);
}
