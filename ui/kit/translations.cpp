#include "ui/kit/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <clocale>
#include <cstdlib>

namespace quarvel::ui {

using platform::ChooseLanguage;
using platform::Language;

Language InstallQtTranslations(QCoreApplication& application) {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    const char* list = std::getenv("LANGUAGE");
    const Language language = ChooseLanguage(messages ? messages : "C", list ? list : "");
    if (language == Language::japanese) {
        auto* qt = new QTranslator(&application);
        if (qt->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qt);
        else
            delete qt;
    }
    return language;
}

}  // namespace quarvel::ui
