// SPDX-License-Identifier: MIT
// The schedule's and full screen's texts in the German catalogue.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>

#include "schedule_logic.h"
#include "schedule_sheet.h"
#include "schedule_table_model.h"

namespace {

class ScheduleGerman : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            translator.load(QLocale(QLocale::German, QLocale::Germany), "app", "_", ":/i18n"));
        QCoreApplication::installTranslator(&translator);
    }
    void TearDown() override { QCoreApplication::removeTranslator(&translator); }
    QTranslator translator;
};

}  // namespace

TEST_F(ScheduleGerman, TheFullScreenHintAndMenuAreTranslated) {
    const auto tr = [](const char* s) { return QCoreApplication::translate("FullScreen", s); };
    EXPECT_EQ(tr("How to return back..."), "So geht es zurück...");
    EXPECT_EQ(tr("Control+Click, then you can select STOP from a popup menu."),
              "Control+Klick, dann können Sie STOPP in einem Kontextmenü wählen.");
    EXPECT_EQ(tr("I see."), "Verstanden.");
    EXPECT_EQ(tr("STOP"), "STOPP");
    EXPECT_EQ(tr("Full Screen"), "Vollbild");
    EXPECT_EQ(QCoreApplication::translate("EffectSchedule", "Effect Schedule..."), "Effektplan...");
}

TEST_F(ScheduleGerman, TheSheetAndItsTableSpeakGerman) {
    TimerSheet sheet;
    EXPECT_EQ(sheet.windowTitle(), "Effektplan");
    EXPECT_EQ(sheet.cancelButton()->text(), "Abbrechen");
    EXPECT_EQ(sheet.okButton()->text(), "OK");
    EffectSchedule schedule;
    ScheduleTableModel model(&schedule);
    const int duration = ScheduleTableModel::columnIdentifiers().indexOf("duration");
    EXPECT_EQ(model.headerData(duration, Qt::Horizontal).toString(), "Sekunden");
    EXPECT_EQ(model.headerData(1 - duration, Qt::Horizontal).toString(), "Effekt");
}
