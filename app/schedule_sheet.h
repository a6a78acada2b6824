// SPDX-License-Identifier: MIT
// The schedule sheet of ScheduleSheet.ui: the schedule's table with OK and Cancel.
#pragma once

#include <QDialog>
#include <memory>

class QPushButton;
class QTableView;
namespace Ui {
class ScheduleSheet;
}

class TimerSheet : public QDialog {
    Q_OBJECT
public:
    explicit TimerSheet(QWidget* parent = nullptr);
    ~TimerSheet() override;

    QTableView* table() const;
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;

private:
    std::unique_ptr<Ui::ScheduleSheet> ui;
};
