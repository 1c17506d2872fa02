#include "server/render_call.h"

#include "platform/language.h"
#include "render/png_writer.h"

namespace quarvel::server {

using render::DrawnTextArt;
using render::DrawTextFile;
using render::EncodePng;
using render::PngForm;
using render::PngOptionsFor;
using render::ReportWarnings;
using render::TextArtOptions;

Result<RenderedPng> RenderPng(std::string bytes, const TextArtOptions& options, PngForm form) {
    const DrawnTextArt drawn = DrawTextFile(std::move(bytes), options);
    Result<std::string> png = EncodePng(drawn.picture, PngOptionsFor(options.look, form));
    if (!png) return png.failure();
    RenderedPng result;
    result.png = std::move(*png);
    result.width = drawn.picture.width;
    result.height = drawn.picture.height;
    result.report = drawn.report;
    // A script reads the same words whatever the service's locale.
    const platform::SourceTexts english;
    result.warnings = ReportWarnings(drawn, "the request's encoding");
    return result;
}

}  // namespace quarvel::server
