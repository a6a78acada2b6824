// SPDX-License-Identifier: MIT
// The Qt side of error_msg: the translation catalogue as its lookup and an application-modal
// critical message box as its alert.
#pragma once

#include <string>

#include <QStringList>

class QLocale;
class QTranslator;

// The catalogue context of the alert's words and of the failure messages.
constexpr const char* kErrorContext = "error_msg";

// Looks key up in the catalogue; a key without an entry comes back as written.
std::string catalogue_lookup(const char* key);

// Shows the critical alert with one default button and returns once it is dismissed.
void critical_alert(const std::string& title, const std::string& text, const std::string& button);

// The next critical alert offers `buttons` instead of "OK", the first as its default; an empty
// list takes the offer back. alert_choice() then tells which was pressed: its index, or -1 when
// the offer was not shown (no alert came, or a test's sink took it).
void offer_alert_choice(const QStringList& buttons);
int alert_choice();

// Makes error_msg use the two functions above.
void install_error_alert();

// Loads the embedded catalogue for `locale` (German for any German locale) into the application
// and returns it (owned by the application). Returns null, and changes nothing, when the
// catalogue has no translation for that language.
QTranslator* install_translation(const QLocale& locale);
