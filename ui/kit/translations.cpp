#include "ui/kit/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <clocale>

#ifndef QUARVEL_TRANSLATIONS_DIR
#define QUARVEL_TRANSLATIONS_DIR "/usr/share/quarvel/translations"
#endif

namespace quarvel::ui {

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

// The window's own translation into `language`: quarvel_en.qm for English.
QString OwnTranslation(Language language) {
    return QStringLiteral("quarvel_%1").arg(QLatin1StringView(platform::LanguageCode(language)));
}

}  // namespace

QString TranslationsFolder() {
    return QString::fromStdString(platform::TranslationsFolder("quarvel/translations", QUARVEL_TRANSLATIONS_DIR));
}

std::string TranslatedBeforeTheApplication(const char* context, const char* text) {
    std::setlocale(LC_MESSAGES, "");
    const Language language = platform::LocaleLanguage();
    if (language == Language::japanese) return text;
    QTranslator translator;
    if (!translator.load(OwnTranslation(language), TranslationsFolder())) return text;
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
        Install(application, OwnTranslation(language), folder);
    }
}

}  // namespace quarvel::ui
