#include "server/render_call.h"

#include "engine/picture_file.h"

namespace quarvel::server {

std::optional<RenderedPng> RenderPng(std::string bytes, const TextArtOptions& options, PngForm form) {
    const DrawnTextArt drawn = DrawTextFile(std::move(bytes), options);
    std::optional<std::string> png = EncodePng(drawn.picture, form);
    if (!png) return std::nullopt;
    RenderedPng result;
    result.png = std::move(*png);
    result.width = drawn.picture.width;
    result.height = drawn.picture.height;
    result.report = drawn.report;
    result.warnings = ReportWarnings(drawn, "the request's encoding");
    return result;
}

}  // namespace quarvel::server
