#include "render/text_art.h"

#include <cstdio>

#include "platform/codec.h"

namespace quarvel::render {

namespace cp932 = platform::cp932;

std::string TooMuchTextMessage() {
    return "more than " + std::to_string(kMaxTextBytes >> 20) +
           " MB of text, more than can be drawn (give the art alone)";
}

DrawnTextArt DrawTextFile(std::string bytes, const TextArtOptions& options) {
    DrawnTextArt drawn;
    drawn.notAllUtf8 = options.encoding == TextEncoding::utf8 && !cp932::IsValidUtf8(bytes);
    const std::string text = PrepareTextFile(std::move(bytes), options.encoding, options.form);
    drawn.picture = RenderPicture(text.c_str(), options.look, &drawn.report);
    return drawn;
}

std::vector<std::string> ReportWarnings(const RenderReport& report, std::string_view codeHint) {
    std::vector<std::string> warnings;
    if (report.linesCut)
        warnings.push_back("the art has more than " + std::to_string(kMaxLines) + " lines; only the first " +
                           std::to_string(kMaxLines) + " are drawn (split it into pieces)");
    if (report.widthCut)
        warnings.push_back("the art is wider than " + std::to_string(kMaxTextWidth) +
                           " pixels; what lies beyond is not drawn (shorten its longest lines)");
    if (report.undecodable > 0)
        warnings.push_back(std::to_string(report.undecodable) +
                           (report.undecodable == 1 ? " character" : " characters") + " could not be decoded and " +
                           (report.undecodable == 1 ? "is" : "are") + " drawn blank (check " + std::string(codeHint) +
                           ")");
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
            codes += " and " + std::to_string(report.faceless.size() - kShown) + " more";
        warnings.push_back("no installed font has " + codes + ", drawn blank (install a font that has " +
                           (report.faceless.size() == 1 ? "it" : "them") + ")");
    }
    return warnings;
}

std::vector<std::string> ReportWarnings(const DrawnTextArt& drawn, std::string_view codeHint) {
    std::vector<std::string> warnings;
    if (drawn.notAllUtf8)
        warnings.push_back("the text is not all UTF-8; what is not is drawn as U+FFFD (check " + std::string(codeHint) +
                           ")");
    for (std::string& w : ReportWarnings(drawn.report, codeHint)) warnings.push_back(std::move(w));
    return warnings;
}

}  // namespace quarvel::render
