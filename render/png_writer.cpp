#include "render/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <vector>

namespace quarvel {
namespace {

// Destroys the write and info structures on every way out of WritePngFile.
struct PngWriteGuard {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriteGuard() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    }
};

// libpng's default handlers print to standard error; the caller decides what the
// user sees, so errors only come back through the jump buffer, warnings are dropped.
void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

}  // namespace

int WritePngFile(const Picture& picture, std::FILE* stream) {
    if (!stream || picture.width <= 0 || picture.height <= 0) return 0;
    PngWriteGuard guard;
    guard.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!guard.png) return 0;
    guard.info = png_create_info_struct(guard.png);
    if (!guard.info) return 0;

    // Locals used after a longjmp must not live in registers.
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
    if (setjmp(png_jmpbuf(guard.png))) return 0;

    png_init_io(guard.png, stream);
    png_set_IHDR(guard.png, guard.info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(guard.png, guard.info);
    for (int y = 0; y < picture.height; ++y) rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(picture.row(y));
    png_write_image(guard.png, rows.data());
    png_write_end(guard.png, guard.info);
    // Bytes still in the stream's buffer have not reached the file yet.
    if (std::fflush(stream) != 0 || std::ferror(stream)) return 0;
    return 1;
}

}  // namespace quarvel
