#include "ui/kit/warning_texts.h"

#include <QCoreApplication>

#include "render/tokens.h"

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

}  // namespace quarvel::ui
