// SPDX-License-Identifier: MIT
// error_msg as the application-modal critical alert, read off the real message box.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include "error_alert.h"
#include "error_msg.h"

namespace {

struct SeenAlert {
    bool seen = false;
    QString title, text, defaultButton;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowModality modality = Qt::NonModal;
};

// Calls error_msg and answers the alert it opens, keeping what the alert showed.
SeenAlert show_and_dismiss(const char* message, int16_t code) {
    SeenAlert seen;
    QTimer poll;
    QDeadlineTimer deadline(10000);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (deadline.hasExpired()) poll.stop();
            return;
        }
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.modality = box->windowModality();
        for (QAbstractButton* b : box->buttons()) seen.buttons.append(b->text());
        if (box->defaultButton()) {
            seen.defaultButton = box->defaultButton()->text();
            box->defaultButton()->click();
        } else {
            box->reject();
        }
        poll.stop();
    });
    poll.start(5);
    error_msg(message, code);
    return seen;
}

class Alert : public ::testing::Test {
protected:
    void SetUp() override { install_error_alert(); }
    void TearDown() override { set_error_msg_backend(nullptr, nullptr); }
};

}  // namespace

TEST_F(Alert, WithACodeShowsTheCodeLine) {
    const SeenAlert a = show_and_dismiss("SGStartPreview", -9405);
    ASSERT_TRUE(a.seen);
    EXPECT_EQ(a.title, "Error in Wobblescope");
    EXPECT_EQ(a.text, "SGStartPreview\nerror code = -9405");
    EXPECT_EQ(a.icon, QMessageBox::Critical);
    EXPECT_EQ(a.modality, Qt::ApplicationModal);
    EXPECT_EQ(a.buttons, QStringList{"OK"});
    EXPECT_EQ(a.defaultButton, "OK");
}

TEST_F(Alert, WithoutACodeShowsTheMessageAlone) {
    const SeenAlert a = show_and_dismiss("OpenDefaultComponent SeqGrabComponentType", 0);
    ASSERT_TRUE(a.seen);
    EXPECT_EQ(a.text, "OpenDefaultComponent SeqGrabComponentType");
    EXPECT_EQ(a.buttons, QStringList{"OK"});
}

TEST_F(Alert, SpeaksTheLanguageOfTheCatalogue) {
    QTranslator german;
    ASSERT_TRUE(german.load(QLocale(QLocale::German), "app", "_", ":/i18n"));
    QCoreApplication::installTranslator(&german);
    const SeenAlert a = show_and_dismiss("memory allocation for fBuffer", 0);
    const SeenAlert b = show_and_dismiss("SGNewChannel", 12);
    QCoreApplication::removeTranslator(&german);
    EXPECT_EQ(a.title, "Fehler in Wobblescope");
    EXPECT_EQ(a.text, "Speicherzuteilung für fBuffer");
    EXPECT_EQ(b.text, "SGNewChannel\nFehlercode = 12");  // no entry: the key itself
    EXPECT_EQ(b.defaultButton, "OK");
}
