// SPDX-License-Identifier: MIT
#include "error_alert.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLibraryInfo>
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
};

}  // namespace

std::string catalogue_lookup(const char* key) {
    return QCoreApplication::translate(kErrorContext, key).toStdString();
}

void critical_alert(const std::string& title, const std::string& text, const std::string& button) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::NoButton);
    QPushButton* ok = box.addButton(QString::fromStdString(button), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void install_error_alert() { set_error_msg_backend(catalogue_lookup, critical_alert); }

QTranslator* install_translation(const QLocale& locale) {
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(locale, "app", "_", ":/i18n")) return nullptr;
    QCoreApplication::installTranslator(translator.get());
    return translator.release();
}

QTranslator* install_qt_translation(const QLocale& locale) {
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    QCoreApplication::installTranslator(translator.get());
    return translator.release();
}
