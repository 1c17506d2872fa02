// Random bytes as text art: the tokenizer and the renderer, with and without space
// collapsing, and now and then the PNG file, read back.
//
// Invariants: at most 50 lines and nothing beyond them; every run token holds whole
// characters and no NUL; only characters outside the code page become code-point
// tokens; the picture is as large as the lines and the margin make it and holds
// nothing but the two colours; collapsing spaces never adds a line and never
// widens the text; the PNG decodes to the same pixels.

#include <png.h>

#include <array>
#include <cstring>
#include <string>

#include "platform/codec.h"
#include "render/png_writer.h"
#include "render/renderer.h"
#include "render/unicoder.h"
#include "tests/fuzz/fuzz_check.h"

namespace quarvel {
namespace {

constexpr COLORREF kFore = 0x123456;
constexpr COLORREF kBack = 0xFEDCBA;

struct Shape {
    int count = 0;
    int textWidth = 0;
};

void CheckRun(const CWordToken& token) {
    FUZZ_CHECK(token.m_nLength > 0);
    FUZZ_CHECK(token.m_pszText[token.m_nLength] == '\0');
    FUZZ_CHECK(std::memchr(token.m_pszText, '\0', token.m_nLength) == nullptr);
    for (std::size_t i = 0; i < token.m_nLength; ++i) {
        if (IsLeadByte(static_cast<unsigned char>(token.m_pszText[i]))) {
            FUZZ_CHECK(i + 1 < token.m_nLength);  // never half a character
            ++i;
        }
    }
}

void CheckCode(const CWordToken& token) {
    const char32_t code = token.m_wCode;
    FUZZ_CHECK(code > 0 && code <= 0x10FFFF);
    FUZZ_CHECK(code < 0xD800 || code > 0xDFFF);
    char encoded[16];
    FUZZ_CHECK(GetUnicoder().EncodeChar(code, encoded) >= 3);  // not a character of the code page
}

Shape Tokenize(const char* text, bool bSpace) {
    std::array<CWordTokenList, kMaxLines + 1> lines;
    const int count = TokenizeTextArt(text, lines.data(), bSpace);
    FUZZ_CHECK(count >= 0 && count <= kMaxLines);
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const CWordTokenList& line = lines[static_cast<std::size_t>(i)];
        if (i >= count) FUZZ_CHECK(line.m_nCount == 0);
        int tokens = 0;
        for (const CWordToken* t = line.first(); t; t = t->m_pNext) {
            ++tokens;
            if (t->m_pszText) CheckRun(*t);
            else CheckCode(*t);
        }
        FUZZ_CHECK(tokens == line.m_nCount);
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
    const std::uint8_t fore[3] = {RedOf(kFore), GreenOf(kFore), BlueOf(kFore)};
    const std::uint8_t back[3] = {RedOf(kBack), GreenOf(kBack), BlueOf(kBack)};
    const std::uint8_t* const end = picture.rgb.data() + picture.rgb.size();
    for (const std::uint8_t* p = picture.rgb.data(); p < end; p += 3) {
        const bool isFore = p[0] == fore[0] && p[1] == fore[1] && p[2] == fore[2];
        FUZZ_CHECK(isFore || (p[0] == back[0] && p[1] == back[1] && p[2] == back[2]));
    }
}

// The picture through WritePngFile into memory and back through libpng's reader.
void CheckPng(const Picture& picture) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    FUZZ_CHECK(stream != nullptr);
    FUZZ_CHECK(WritePngFile(picture, stream) == 1);
    std::fclose(stream);

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    FUZZ_CHECK(png_image_begin_read_from_memory(&image, buffer, size) != 0);
    image.format = PNG_FORMAT_RGB;
    FUZZ_CHECK(static_cast<int>(image.width) == picture.width);
    FUZZ_CHECK(static_cast<int>(image.height) == picture.height);
    std::string pixels(PNG_IMAGE_SIZE(image), '\0');
    FUZZ_CHECK(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0);
    png_image_free(&image);
    std::free(buffer);
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

    const bool bSpace = size % 2 == 0;
    const Picture picture = RenderPicture(text.c_str(), Appearance{kFore, kBack, margin, bSpace});
    CheckPicture(picture, bSpace ? collapsed : kept, margin);

    // PNG compression costs more than the rest: one input in sixteen.
    unsigned sum = 0;
    for (std::size_t i = 0; i < size && i < 64; ++i) sum += data[i];
    if (sum % 16 == 0) CheckPng(picture);
    return 0;
}
