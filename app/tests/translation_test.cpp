// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTranslator>

#include "error_alert.h"
#include "error_msg.h"

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
