// SPDX-License-Identifier: MIT
// error_msg as the application-modal critical alert, read off the real message box.
#include <QLocale>
#include <QTranslator>

#include "error_alert.h"
#include "window_fixture.h"

TEST(Alert, IsAnApplicationModalCriticalBoxInTheLanguageOfTheCatalogue) {
    install_error_alert();
    const testcam::SeenBox coded = testcam::answer_box([] { error_msg("SGStartPreview", -9405); });
    EXPECT_EQ(coded.text, "Error in Wobblescope|SGStartPreview\nerror code = -9405|OK");
    EXPECT_EQ(coded.icon, QMessageBox::Critical);
    EXPECT_EQ(coded.modality, Qt::ApplicationModal);
    EXPECT_EQ(testcam::answer_box([] { error_msg("SGNewChannel", 0); }).text,
              "Error in Wobblescope|SGNewChannel|OK");
    QTranslator german;
    ASSERT_TRUE(german.load(QLocale(QLocale::German), "app", "_", ":/i18n"));
    QCoreApplication::installTranslator(&german);
    EXPECT_EQ(testcam::answer_box([] { error_msg("memory allocation for fBuffer", 12); }).text,
              "Fehler in Wobblescope|Speicherzuteilung für fBuffer\nFehlercode = 12|OK");
    QCoreApplication::removeTranslator(&german);
    set_error_msg_backend(nullptr, nullptr);
}
