#include "ui/kit/warning_texts.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <utility>

#include "engine/document_code.h"
#include "render/text_art.h"
#include "ui/kit/resources.h"

namespace quarvel::ui {

namespace {

// A label of the common settings page as it shows, without its access key.
QString Label(const char* text) {
    QString label = TranslatedResourceText("Dialogs", QString::fromUtf8(text));
    label.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    return label.remove(QLatin1Char('&'));
}

}  // namespace

QStringList PictureWarnings(const render::RenderReport& report) {
    // What decodes a document's bytes is the page's "文字コード".
    const std::string codeHint =
        QCoreApplication::translate("PictureWarnings", "「%1」").arg(Label("文字コード(&C)")).toStdString();
    QStringList warnings;
    for (const std::string& warning : render::ReportWarnings(report, codeHint))
        warnings << QString::fromStdString(warning);
    return warnings;
}

QString FailureAdvice(const Failure& failure) {
    if (!failure.Is(Failure::What::wrongCode)) return {};
    // The code as the buttons of "文字コード" name it.
    QString button = QString::fromStdString(failure.detail);
    const std::pair<engine::DocumentCode, const char*> buttons[] = {
        {engine::DocumentCode::shiftJis, "Shift-Jis"}, {engine::DocumentCode::eucJp, "EUC"},
        {engine::DocumentCode::utf8, "UTF-8"}};
    for (const auto& [code, label] : buttons)
        if (failure.detail == engine::CodeName(code)) button = Label(label);
    return QCoreApplication::translate("PictureWarnings",
                                       "この文書の文字コードは %1 です。「%2」で「%3」か「%4」を選んで、もう一度変換して"
                                       "ください。")
        .arg(QString::fromStdString(failure.detail), Label("文字コード(&C)"), button, Label("自動"));
}

}  // namespace quarvel::ui
