// SPDX-License-Identifier: MIT
#include "error_alert.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include "error_msg.h"

namespace {

// The keys error_msg is called with, listed so that lupdate carries them into the catalogue.
[[maybe_unused]] const char* const kKeys[] = {
    QT_TRANSLATE_NOOP("error_msg", "OK"),
    QT_TRANSLATE_NOOP("error_msg", "Error in Wobblescope"),
    QT_TRANSLATE_NOOP("error_msg", "error code"),
    QT_TRANSLATE_NOOP("error_msg", "memory allocation for sourceFrames"),
    QT_TRANSLATE_NOOP("error_msg", "memory allocation for fBuffer"),
    QT_TRANSLATE_NOOP("error_msg", "memory allocation for sourceFrames[0 ..]"),
    QT_TRANSLATE_NOOP("error_msg", "memory allocation for hnalalaaxc"),
    QT_TRANSLATE_NOOP("error_msg", "create large NSBitmapImageRep"),
    QT_TRANSLATE_NOOP("error_msg", "create small NSBitmapImageRep"),
    // The camera layer's own words in an alert's cause.
    QT_TRANSLATE_NOOP("error_msg", "no camera found"),
    QT_TRANSLATE_NOOP("error_msg", "not a video device"),
    QT_TRANSLATE_NOOP("error_msg", "has no video stream"),
    QT_TRANSLATE_NOOP("error_msg", "has no decoder for its video"),
    QT_TRANSLATE_NOOP("error_msg", "cannot read the stream information"),
    QT_TRANSLATE_NOOP("error_msg", "cannot set up the video decoder"),
    QT_TRANSLATE_NOOP("error_msg", "cannot open the video decoder"),
    QT_TRANSLATE_NOOP("error_msg", "video has no picture size"),
};

// The buttons offered for the next alert and the index pressed, kept on the application object.
constexpr const char* kOfferedButtons = "wobblescopeAlertButtons";
constexpr const char* kChoice = "wobblescopeAlertChoice";

}  // namespace

std::string catalogue_lookup(const char* key) {
    return QCoreApplication::translate(kErrorContext, key).toStdString();
}

void critical_alert(const std::string& title, const std::string& text, const std::string& button) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::NoButton);
    QCoreApplication* app = QCoreApplication::instance();
    QStringList labels = app->property(kOfferedButtons).toStringList();
    app->setProperty(kOfferedButtons, QVariant());
    const bool offered = !labels.isEmpty();
    if (!offered) labels = {QString::fromStdString(button)};
    QList<QPushButton*> buttons;
    for (const QString& label : std::as_const(labels))
        buttons.append(box.addButton(label, buttons.isEmpty() ? QMessageBox::AcceptRole
                                                              : QMessageBox::RejectRole));
    box.setDefaultButton(buttons.first());
    box.setEscapeButton(buttons.last());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (offered)
        app->setProperty(kChoice, static_cast<int>(buttons.indexOf(
                                      static_cast<QPushButton*>(box.clickedButton()))));
}

void offer_alert_choice(const QStringList& buttons) {
    QCoreApplication* app = QCoreApplication::instance();
    app->setProperty(kOfferedButtons, buttons.isEmpty() ? QVariant() : QVariant(buttons));
    app->setProperty(kChoice, -1);
}

int alert_choice() {
    const QVariant v = QCoreApplication::instance()->property(kChoice);
    return v.isValid() ? v.toInt() : -1;
}

void install_error_alert() { set_error_msg_backend(catalogue_lookup, critical_alert); }

QTranslator* install_translation(const QLocale& locale) {
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(locale, "app", "_", ":/i18n")) return nullptr;
    QCoreApplication::installTranslator(translator.get());
    return translator.release();
}
