#pragma once
// One piece of text art from the bytes of a text file: the picture, what it leaves
// out, and the warnings that say so. `quarvel-cli render` and the web service both
// draw through DrawTextFile, so the same bytes and options give the same picture.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/picture.h"
#include "render/appearance.h"
#include "render/renderer.h"
#include "render/text_prep.h"

namespace quarvel::render {

// The most text that is read for one picture: far more than 50 lines of 1024 pixels
// can show, and little enough that neither a wrong file nor an endless stream fills
// the memory.
inline constexpr std::size_t kMaxTextBytes = 16u << 20;
// Why more is refused: "more than 16 MB of text, more than can be drawn (give the art alone)".
std::string TooMuchTextMessage();

struct TextArtOptions {
    TextEncoding encoding = TextEncoding::automatic;
    TextForm form = TextForm::plain;
    Appearance look;
    bool lineBreaks = false;  // html: line ends break lines too (LineEndsAsBreaks)
};

struct DrawnTextArt {
    platform::Picture picture;
    RenderReport report;
    bool notAllUtf8 = false;  // read as UTF-8 by request, and not all of it is
};

// Draws the bytes (taken over) as `render` does.
DrawnTextArt DrawTextFile(std::string bytes, const TextArtOptions& options);

// The warnings for what a picture does not show of its art, one sentence each
// ("the art has more than 50 lines; ..."); `codeHint` names what chooses how the bytes
// are decoded ("--encoding").
std::vector<std::string> ReportWarnings(const RenderReport& report, std::string_view codeHint);
// The same, with the warning for text read as UTF-8 that is not, first.
std::vector<std::string> ReportWarnings(const DrawnTextArt& drawn, std::string_view codeHint);

}  // namespace quarvel::render
