#pragma once
// The window's words in the language the program speaks, chosen from the locale as
// quarvel-cli chooses it: its own texts (Japanese, the source texts of the resources
// and the code) and Qt's (the buttons and labels of its file, colour and message
// dialogs).

#include <QString>

#include <string>

#include "platform/language.h"

class QCoreApplication;

namespace quarvel::ui {

// The folder of the window's translations (quarvel_<language>.qm): share/quarvel/
// translations beside the program's folder (the build tree, any install prefix),
// else the one of the prefix the program was built for.
QString TranslationsFolder();

// `text` of `context` in the user's language, read from the window's translation by
// hand: for what is printed before the application (and so any installed translator)
// exists, as --help.
std::string TranslatedBeforeTheApplication(const char* context, const char* text);

// Installs the translations of `language`, in place of those an earlier call
// installed: for English the window's own from `folder`; for Japanese Qt's
// (qtbase_ja.qm of qt6-translations-l10n), the window's texts being their sources.
// Windows made afterwards speak the language. The program installs them once the
// application object is made and before any window.
void InstallTranslations(QCoreApplication& application, platform::Language language, const QString& folder);

}  // namespace quarvel::ui
