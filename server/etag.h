#pragma once
// Entity tags of pictures. A picture depends only on its text, its options and the
// program that draws it (its version and the font that replaces Mona's shapes), so a
// hash of those names it before anything is drawn.

#include <string>
#include <string_view>

#include "render/png_writer.h"
#include "render/text_art.h"

namespace quarvel::server {

// SHA-256 of the bytes, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

// The strong entity tag, quoted ("\"q1-...\""), of the picture of `text` (the bytes as
// sent) read with `options` and written in `form`; `program` names what draws it.
std::string PictureTag(std::string_view program, std::string_view text, const render::TextArtOptions& options,
                       render::PngForm form);

}  // namespace quarvel::server
