// SPDX-License-Identifier: MIT
#include "schedule_sheet.h"

#include "ui_ScheduleSheet.h"

TimerSheet::TimerSheet(QWidget* parent) : QDialog(parent), ui(new Ui::ScheduleSheet) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("timerSheet"));
    setWindowModality(Qt::WindowModal);
}

TimerSheet::~TimerSheet() = default;

QTableView* TimerSheet::table() const {
    return ui->timerTable;
}
QPushButton* TimerSheet::okButton() const {
    return ui->okButton;
}
QPushButton* TimerSheet::cancelButton() const {
    return ui->cancelButton;
}
