// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTranslator>

#include <QMenu>
#include <QPushButton>

#include "Controller.h"
#include "MyMovieView.h"
#include "effect_matrix.h"
#include "error_alert.h"
#include "error_msg.h"
#include "interface_file.h"
#include "ui_MainWindow.h"

namespace {

// Installs the German catalogue for one test and removes it again.
class GermanCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(translator.load(QLocale(QLocale::German, QLocale::Germany), "app", "_",
                                    ":/i18n"));
        QCoreApplication::installTranslator(&translator);
    }
    void TearDown() override { QCoreApplication::removeTranslator(&translator); }
    QTranslator translator;
};

}  // namespace

TEST(Catalogue, IsEmbeddedAndCompiled) {
    QFile qm(":/i18n/app_de.qm");
    ASSERT_TRUE(qm.open(QIODevice::ReadOnly));
    EXPECT_GT(qm.size(), 100);
}

TEST(Catalogue, GermanLocaleIsChosenAndEnglishIsNot) {
    QTranslator de, en;
    EXPECT_TRUE(de.load(QLocale(QLocale::German, QLocale::Austria), "app", "_", ":/i18n"));
    EXPECT_EQ(de.language(), "de_DE");
    EXPECT_FALSE(en.load(QLocale(QLocale::English, QLocale::UnitedStates), "app", "_", ":/i18n"));
}

TEST_F(GermanCatalogue, TranslatesTheAlertWords) {
    EXPECT_EQ(catalogue_lookup("Error in Wobblescope"), "Fehler in Wobblescope");
    EXPECT_EQ(catalogue_lookup("error code"), "Fehlercode");
    EXPECT_EQ(error_msg_text("memory allocation for fBuffer", 0, catalogue_lookup),
              "Speicherzuteilung für fBuffer");
    EXPECT_EQ(error_msg_text("SGStartPreview", -9405, catalogue_lookup),
              "SGStartPreview\nFehlercode = -9405");
}

TEST_F(GermanCatalogue, TranslatesTheWindowTexts) {
    EXPECT_EQ(QCoreApplication::translate("MainWindow", "Wave Warp"), "Zeitwelle");
    EXPECT_EQ(QCoreApplication::translate("MainWindow", "&File"), "&Datei");
}

TEST(Catalogue, MissingKeyShowsItself) {
    EXPECT_EQ(catalogue_lookup("SGNewChannel"), "SGNewChannel");
    EXPECT_EQ(catalogue_lookup("Error in Wobblescope"), "Error in Wobblescope");
}

TEST(Catalogue, SystemLocaleChoosesItAndTheWindowSpeaksIt) {
    EXPECT_EQ(install_translation(QLocale(QLocale::English, QLocale::UnitedKingdom)), nullptr);
    QTranslator* german = install_translation(QLocale(QLocale::German, QLocale::Switzerland));
    ASSERT_NE(german, nullptr);
    {
        PipelineState s;
        ViewState v;
        CaptureState c;
        Controller controller;
        load_interface_file(controller, s, v, c);
        EXPECT_EQ(controller.myMovieView->deformMode->cellTitles(),
                  (QStringList{"Zeitwelle", "Belichtung", "Bewegungsspur", "Verzögerung",
                               "Zeitstreuung", "Bewegungsmalerei"}));
        EXPECT_EQ(controller.ui->menuEffect->title(), "&Effekt");
        EXPECT_EQ(controller.ui->recButton->text(), "Aufnahme");
    }
    QCoreApplication::removeTranslator(german);
    delete german;
    EXPECT_EQ(catalogue_lookup("error code"), "error code");
}
