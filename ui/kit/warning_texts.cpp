#include "ui/kit/warning_texts.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <utility>

#include "engine/document_code.h"
#include "render/tokens.h"
#include "ui/kit/resources.h"

namespace quarvel::ui {

using render::kMaxLines;
using render::kMaxTextWidth;

QStringList PictureWarnings(const render::RenderReport& report) {
    QStringList warnings;
    if (report.linesCut)
        warnings << QCoreApplication::translate("PictureWarnings", "%1行を超えた分は描かれません").arg(kMaxLines);
    if (report.widthCut)
        warnings
            << QCoreApplication::translate("PictureWarnings", "幅%1ピクセルを超えた分は切れます").arg(kMaxTextWidth);
    if (report.undecodable > 0)
        warnings << QCoreApplication::translate("PictureWarnings", "読めない文字%1字は空白になります")
                        .arg(report.undecodable);
    if (!report.faceless.empty()) {
        // The first few code points say enough; a piece may hold hundreds.
        constexpr std::size_t kShown = 8;
        QStringList codes;
        for (std::size_t i = 0; i < report.faceless.size() && i < kShown; ++i)
            codes
                << QStringLiteral("U+%1").arg(static_cast<uint>(report.faceless[i]), 4, 16, QLatin1Char('0')).toUpper();
        QString shown = codes.join(QLatin1Char(' '));
        if (report.faceless.size() > kShown)
            shown += QCoreApplication::translate("PictureWarnings", " ほか%1字").arg(report.faceless.size() - kShown);
        warnings << QCoreApplication::translate("PictureWarnings", "字形の無い文字（%1）は空白になります").arg(shown);
    }
    return warnings;
}

namespace {

// A label of the common settings page as it shows, without its access key.
QString Label(const char* text) {
    QString label = TranslatedResourceText("Dialogs", QString::fromUtf8(text));
    label.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    return label.remove(QLatin1Char('&'));
}

}  // namespace

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
