#pragma once
// Qt's own words (the buttons and labels of its file, colour and message dialogs) in
// the language the program speaks, chosen from the locale as quarvel-cli chooses it.

#include "platform/language.h"

class QCoreApplication;

namespace quarvel::ui {

// Loads and installs Qt's translation of the language chosen from the user's locale
// (qtbase_ja.qm of qt6-translations-l10n for Japanese; English is Qt's own), once the
// application object is made and before any window. Returns the language.
platform::Language InstallQtTranslations(QCoreApplication& application);

}  // namespace quarvel::ui
