#include "render/text_art.h"

#include <cstdio>

#include "platform/codec.h"
#include "platform/language.h"

namespace quarvel::render {

namespace cp932 = platform::cp932;
using platform::Fill;
using platform::TranslatePlural;

std::string TooMuchTextMessage() {
    return Fill(_("more than {1} MB of text, more than can be drawn (give the art alone)"),
                {std::to_string(kMaxTextBytes >> 20)});
}

DrawnTextArt DrawTextFile(std::string bytes, const TextArtOptions& options) {
    DrawnTextArt drawn;
    drawn.notAllUtf8 = options.encoding == TextEncoding::utf8 && !cp932::IsValidUtf8(bytes);
    std::string text = PrepareTextFile(std::move(bytes), options.encoding, options.form);
    // Plain text breaks its lines at line ends anyway.
    if (options.lineBreaks && options.form == TextForm::html) text = LineEndsAsBreaks(text);
    drawn.picture = RenderPicture(text.c_str(), options.look, &drawn.report);
    return drawn;
}

std::vector<std::string> ReportWarnings(const RenderReport& report, std::string_view codeHint) {
    std::vector<std::string> warnings;
    if (report.linesCut)
        warnings.push_back(
            Fill(_("the art has more than {1} lines; only the first {1} are drawn (split it into pieces)"),
                 {std::to_string(kMaxLines)}));
    if (report.widthCut)
        warnings.push_back(
            Fill(_("the art is wider than {1} pixels; what lies beyond is not drawn (shorten its longest lines)"),
                 {std::to_string(kMaxTextWidth)}));
    if (report.undecodable > 0)
        warnings.push_back(Fill(
            TranslatePlural("{1} character could not be decoded and is drawn blank (check {2})",
                            "{1} characters could not be decoded and are drawn blank (check {2})", report.undecodable),
            {std::to_string(report.undecodable), codeHint}));
    if (!report.faceless.empty()) {
        // The first few code points say enough; a piece may hold hundreds.
        constexpr std::size_t kShown = 8;
        std::string codes;
        for (std::size_t i = 0; i < report.faceless.size() && i < kShown; ++i) {
            char code[16];
            std::snprintf(code, sizeof code, "%sU+%04X", i ? " " : "", static_cast<unsigned>(report.faceless[i]));
            codes += code;
        }
        if (report.faceless.size() > kShown)
            codes = Fill(_("{1} and {2} more"), {codes, std::to_string(report.faceless.size() - kShown)});
        warnings.push_back(Fill(TranslatePlural("no installed font has {1}, drawn blank (install a font that has it)",
                                                "no installed font has {1}, drawn blank (install a font that has them)",
                                                report.faceless.size()),
                                {codes}));
    }
    return warnings;
}

std::vector<std::string> ReportWarnings(const DrawnTextArt& drawn, std::string_view codeHint) {
    std::vector<std::string> warnings;
    if (drawn.notAllUtf8)
        warnings.push_back(
            Fill(_("the text is not all UTF-8; what is not is drawn as U+FFFD (check {1})"), {codeHint}));
    for (std::string& w : ReportWarnings(drawn.report, codeHint)) warnings.push_back(std::move(w));
    return warnings;
}

}  // namespace quarvel::render
