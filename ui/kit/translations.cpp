#include "ui/kit/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <clocale>
#include <cstdlib>

#ifndef QUARVEL_TRANSLATIONS_DIR
#define QUARVEL_TRANSLATIONS_DIR "/usr/share/quarvel/translations"
#endif

namespace quarvel::ui {

using platform::ChooseLanguage;
using platform::Language;

namespace {

// The translators the last call installed, removed by the next.
QList<QPointer<QTranslator>>& Installed() {
    static QList<QPointer<QTranslator>> installed;
    return installed;
}

void Install(QCoreApplication& application, const QString& name, const QString& folder) {
    auto* translator = new QTranslator(&application);
    if (translator->load(name, folder)) {
        QCoreApplication::installTranslator(translator);
        Installed().push_back(translator);
    } else {
        delete translator;
    }
}

}  // namespace

QString TranslationsFolder() {
    // From the program's own file rather than the application's, which does not exist yet
    // when --help is answered.
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString beside = QFileInfo(self).path() + QStringLiteral("/../share/quarvel/translations");
    if (!self.isEmpty() && QDir(beside).exists()) return QDir::cleanPath(beside);
    return QStringLiteral(QUARVEL_TRANSLATIONS_DIR);
}

std::string TranslatedBeforeTheApplication(const char* context, const char* text) {
    std::setlocale(LC_MESSAGES, "");
    if (ChosenLanguage() != Language::english) return text;
    QTranslator translator;
    if (!translator.load(QStringLiteral("quarvel_en"), TranslationsFolder())) return text;
    const QString translated = translator.translate(context, text);
    return translated.isEmpty() ? text : translated.toStdString();
}

void InstallTranslations(QCoreApplication& application, Language language, const QString& folder) {
    for (const QPointer<QTranslator>& translator : Installed()) {
        if (!translator) continue;
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    Installed().clear();
    if (language == Language::japanese) {
        Install(application, QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    } else {
        Install(application, QStringLiteral("quarvel_%1").arg(QLatin1StringView(platform::LanguageCode(language))),
                folder);
    }
}

Language ChosenLanguage() {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    const char* list = std::getenv("LANGUAGE");
    return ChooseLanguage(messages ? messages : "C", list ? list : "");
}

}  // namespace quarvel::ui
