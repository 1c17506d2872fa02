#include "support/libpng_reference.h"

#include <png.h>

#include <csetjmp>
#include <stdexcept>
#include <vector>

#include "render/two_colour.h"

namespace quarvel::test {

using platform::Picture;
using render::PackTwoColours;
using render::TwoColourRows;

namespace {

void Append(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

// The write and info structures, destroyed on every path.
struct Writer {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    ~Writer() { png_destroy_write_struct(&png, &info); }
};

// The file of `rows` under the header set by `describe(png, info)`.
template <typename Describe>
std::string Write(int height, const std::vector<png_bytep>& rows, Describe describe) {
    Writer w;
    if (!w.info) throw std::runtime_error("libpng: no memory");
    std::string file;
    if (setjmp(png_jmpbuf(w.png))) throw std::runtime_error("libpng could not write the picture");
    png_set_write_fn(w.png, &file, Append, nullptr);
    png_set_compression_level(w.png, 6);
    describe(w.png, w.info);
    png_write_info(w.png, w.info);
    png_write_rows(w.png, const_cast<png_bytepp>(rows.data()), static_cast<png_uint_32>(height));
    png_write_end(w.png, w.info);
    return file;
}

}  // namespace

std::string LibpngRgb(const Picture& picture) {
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y) rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(picture.row(y));
    return Write(picture.height, rows, [&](png_structp png, png_infop info) {
        png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    });
}

std::string LibpngPalette(const Picture& picture) {
    TwoColourRows packed;
    if (!PackTwoColours(picture, packed)) return {};
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y)
        rows[static_cast<std::size_t>(y)] = packed.bits.data() + packed.stride * static_cast<std::size_t>(y);
    const png_color palette[2] = {{packed.first.red, packed.first.green, packed.first.blue},
                                  {packed.second.red, packed.second.green, packed.second.blue}};
    return Write(picture.height, rows, [&](png_structp png, png_infop info) {
        png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 1,
                     PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(png, info, palette, packed.hasSecond ? 2 : 1);
    });
}

}  // namespace quarvel::test
