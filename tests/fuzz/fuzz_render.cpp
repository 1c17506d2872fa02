// Random bytes as text art: the tokenizer and the renderer, with and without space
// collapsing, and the PNG file: each form read back for one input in four.
//
// Invariants: at most 50 lines and nothing beyond them; every run token holds whole
// characters and no NUL; only characters outside the code page become code-point
// tokens; the picture is as large as the lines and the margin make it and holds
// nothing but the two colours; collapsing spaces never adds a line and never
// widens the text; the PNG, RGB or indexed, decodes to the same pixels.

#include <png.h>

#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "platform/codec.h"
#include "render/png_writer.h"
#include "render/references.h"
#include "render/renderer.h"
#include "tests/fuzz/fuzz_check.h"

namespace quarvel {

using render::Appearance;
using render::EncodeChar;
using render::EncodePng;
using render::kLinePitch;
using render::kMaxLines;
using render::kMaxTextWidth;
using render::MeasureTextWidth;
using render::PngForm;
using render::RenderPicture;
using render::TokenizeTextArt;
using render::WordToken;
using render::WordTokenList;

using platform::Color;
using platform::IsLeadByte;
using platform::Picture;

namespace {

constexpr Color kFore{0x56, 0x34, 0x12};
constexpr Color kBack{0xBA, 0xDC, 0xFE};

struct Shape {
    int count = 0;
    int textWidth = 0;
};

void CheckRun(std::string_view run) {
    FUZZ_CHECK(!run.empty());
    FUZZ_CHECK(run.find('\0') == std::string_view::npos);
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(run[i]))) {
            FUZZ_CHECK(i + 1 < run.size());  // never half a character
            ++i;
        }
    }
}

void CheckCode(const WordToken& token) {
    const char32_t code = token.code;
    FUZZ_CHECK(code > 0 && code <= 0x10FFFF);
    FUZZ_CHECK(code < 0xD800 || code > 0xDFFF);
    char encoded[16];
    FUZZ_CHECK(EncodeChar(code, encoded) >= 3);  // not a character of the code page
}

Shape Tokenize(const char* text, bool collapseSpaces) {
    std::array<WordTokenList, kMaxLines + 1> lines;
    const int count = TokenizeTextArt(text, lines.data(), collapseSpaces);
    FUZZ_CHECK(count >= 0 && count <= kMaxLines);
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const WordTokenList& line = lines[static_cast<std::size_t>(i)];
        if (i >= count) FUZZ_CHECK(line.IsEmpty());
        for (const WordToken& t : line.Tokens()) {
            if (t.IsRun())
                CheckRun(line.Text(t));
            else
                CheckCode(t);
        }
    }
    const int width = MeasureTextWidth(lines.data(), count);
    FUZZ_CHECK(width >= 0 && width <= kMaxTextWidth && width % 4 == 0);
    return {count, width};
}

// Looking at every pixel is the harness's business, not code under test: without
// coverage tracing and address checks it costs a fraction. The size is checked first.
__attribute__((no_sanitize("coverage", "address"))) void CheckPicture(const Picture& picture, const Shape& shape,
                                                                      int margin) {
    int width = 2 * margin + shape.textWidth;
    int height = 2 * margin + kLinePitch * shape.count;
    if (width <= 0 || height <= 0) width = height = 1;
    FUZZ_CHECK(picture.width == width && picture.height == height);
    FUZZ_CHECK(picture.rgb.size() == static_cast<std::size_t>(width) * height * 3);
    const std::uint8_t fore[3] = {kFore.red, kFore.green, kFore.blue};
    const std::uint8_t back[3] = {kBack.red, kBack.green, kBack.blue};
    const std::uint8_t* const end = picture.rgb.data() + picture.rgb.size();
    for (const std::uint8_t* p = picture.rgb.data(); p < end; p += 3) {
        const bool isFore = p[0] == fore[0] && p[1] == fore[1] && p[2] == fore[2];
        FUZZ_CHECK(isFore || (p[0] == back[0] && p[1] == back[1] && p[2] == back[2]));
    }
}

// The picture's PNG file, and back through libpng's reader.
void CheckPng(const Picture& picture, PngForm form) {
    const Result<std::string> png = EncodePng(picture, form);
    FUZZ_CHECK(png.ok());
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    FUZZ_CHECK(png_image_begin_read_from_memory(&image, png->data(), png->size()) != 0);
    image.format = PNG_FORMAT_RGB;
    FUZZ_CHECK(static_cast<int>(image.width) == picture.width);
    FUZZ_CHECK(static_cast<int>(image.height) == picture.height);
    // One buffer for every run: a fresh one each time cost more in page faults than
    // the decoding.
    static std::string pixels;
    pixels.resize(PNG_IMAGE_SIZE(image));
    FUZZ_CHECK(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0);
    png_image_free(&image);
    FUZZ_CHECK(std::memcmp(pixels.data(), picture.rgb.data(), pixels.size()) == 0);
}

}  // namespace
}  // namespace quarvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarvel;
    const std::string text(fuzz::AsText(data, size));  // the renderer stops at the first NUL
    const int margin = size % 7 == 0 ? 100 : static_cast<int>(size % 3);

    const Shape collapsed = Tokenize(text.c_str(), true);
    const Shape kept = Tokenize(text.c_str(), false);
    // Collapsing may empty the last lines (spaces only), never add one.
    FUZZ_CHECK(collapsed.count <= kept.count);
    FUZZ_CHECK(collapsed.textWidth <= kept.textWidth);

    const bool collapseSpaces = size % 2 == 0;
    const Picture picture = RenderPicture(text.c_str(), Appearance{kFore, kBack, margin, collapseSpaces});
    CheckPicture(picture, collapseSpaces ? collapsed : kept, margin);

    // Reading a file back through libpng costs more than the rest: each form for one
    // input in four. (fuzz_png takes the writers alone on pictures of any bits.)
    unsigned sum = 0;
    for (std::size_t i = 0; i < size && i < 64; ++i) sum += data[i];
    if (sum % 4 == 0) CheckPng(picture, PngForm::rgb);
    if (sum % 4 == 1) CheckPng(picture, PngForm::indexed);
    return 0;
}
