#pragma once
// The one place where the service draws: the bytes of a piece of text art and its
// options in, the PNG file's bytes and what the picture leaves out back. It goes
// through the core calls that `quarvel-cli render` makes (DrawTextFile, EncodePng),
// so an answer is byte for byte the file the command writes with the same options.

#include <string>
#include <vector>

#include "render/png_writer.h"
#include "render/renderer.h"
#include "render/text_art.h"

namespace quarvel::server {

struct RenderedPng {
    std::string png;
    int width = 0;
    int height = 0;
    render::RenderReport report;
    std::vector<std::string> warnings;  // worded as the command line words them
};

// Draws `bytes` (taken over) and encodes the picture; fails when the PNG could not be
// made (memory ran out).
Result<RenderedPng> RenderPng(std::string bytes, const render::TextArtOptions& options, render::PngForm form);

}  // namespace quarvel::server
