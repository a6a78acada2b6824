// SPDX-License-Identifier: MIT
// The embedded German catalogue: chosen by the system's locale, spoken by the window, its menus
// and its alerts, and gone again once removed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMenu>
#include <QPushButton>
#include <QTranslator>

#include "Controller.h"
#include "MyMovieView.h"
#include "effect_matrix.h"
#include "error_msg.h"
#include "error_alert.h"
#include "interface_file.h"
#include "ui_MainWindow.h"

TEST(Catalogue, GermanLocaleChoosesItAndTheWindowAndItsAlertsSpeakIt) {
    EXPECT_EQ(install_translation(QLocale(QLocale::English, QLocale::UnitedKingdom)), nullptr);
    QTranslator* german = install_translation(QLocale(QLocale::German, QLocale::Switzerland));
    ASSERT_NE(german, nullptr);
    QStringList shown;
    std::string alerts;
    {
        PipelineState s;
        ViewState v;
        CaptureState c;
        Controller controller;
        load_interface_file(controller, s, v, c);
        controller.rebuildCameraMenu();
        shown << controller.myMovieView->deformMode->cellTitles() << controller.ui->menuEffect->title()
              << controller.ui->recButton->text();
        for (const QAction* a : controller.cameraMenu->actions()) shown << a->text();
        for (QAction* a : {controller.ui->actionResolution480, controller.ui->actionResolutionNative})
            shown << a->text();
        shown << Controller::tr("Use Demo Scene") << Controller::tr("Quit")
              << QCoreApplication::translate(
                     "MyMovieView", "Camera disconnected \u2014 waiting for it to come back");
        for (const char* key : {"Error in Wobblescope", "no camera found", "not a video device",
                                "has no video stream",
                                "There is not enough free memory for pictures of this size."})
            alerts += catalogue_lookup(key) + "|";
        alerts += error_msg_text("memory allocation for fBuffer", -9405, catalogue_lookup);
    }
    QCoreApplication::removeTranslator(german);
    delete german;
    EXPECT_EQ(shown.join('|').toStdString(),
              "Zeitwelle|Belichtung|Bewegungsspur|Verzögerung|Zeitstreuung|Bewegungsmalerei|&Effekt|"
              "Aufnahme|Demoszene||Videodatei öffnen ...|480 Zeilen|eigene der Kamera|"
              "Demoszene verwenden|Beenden|Kamera getrennt \u2014 warte, bis sie wieder da ist");
    EXPECT_EQ(alerts,
              "Fehler in Wobblescope|keine Kamera gefunden|kein Videogerät|hat keinen Videostrom|"
              "Für Bilder dieser Größe ist nicht genug Speicher frei.|"
              "Speicherzuteilung für fBuffer\nFehlercode = -9405");
    EXPECT_EQ(catalogue_lookup("error code"), "error code");
}
