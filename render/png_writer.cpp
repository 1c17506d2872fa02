#include "render/png_writer.h"

#include <libdeflate.h>
#include <png.h>

#include <csetjmp>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "render/two_colour.h"

namespace quarvel {
namespace {

// Destroys the write and info structures on every way out of WriteRgbPng.
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

// The RGB form through libpng, with its default filters and compression: the bytes
// documents have always had.
bool WriteRgbPng(const Picture& picture, std::FILE* stream) {
    PngWriteGuard guard;
    guard.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!guard.png) return false;
    guard.info = png_create_info_struct(guard.png);
    if (!guard.info) return false;

    // Locals used after a longjmp must not live in registers.
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
    if (setjmp(png_jmpbuf(guard.png))) return false;

    png_init_io(guard.png, stream);
    png_set_IHDR(guard.png, guard.info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(guard.png, guard.info);
    for (int y = 0; y < picture.height; ++y) rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(picture.row(y));
    png_write_image(guard.png, rows.data());
    png_write_end(guard.png, guard.info);
    return true;
}

// The indexed form is written here rather than through libpng: libdeflate compresses
// the packed rows in a third of zlib's time at the same size, and the file is four
// chunks. One compressor per thread, kept for the thread's pictures.
struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
constexpr int kCompressionLevel = 6;  // as small as libpng's default, at a third of its time

libdeflate_compressor* ThreadCompressor() {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
        libdeflate_alloc_compressor(kCompressionLevel));
    return compressor.get();
}

void Put32(std::string& out, std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out.append(bytes, 4);
}

// A chunk: length, type, data, and the CRC of type and data.
void PutChunk(std::string& out, std::string_view type, std::string_view data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out += type;
    out += data;
    Put32(out, libdeflate_crc32(0, out.data() + start, out.size() - start));
}

void PutColour(std::string& out, Color c) {
    out += static_cast<char>(c.red);
    out += static_cast<char>(c.green);
    out += static_cast<char>(c.blue);
}

// The whole file: signature, IHDR (bit depth 1, colour type 3), PLTE, one IDAT of the
// rows each after its filter byte 0 (none), IEND. False when there is no memory.
bool IndexedPngFile(const Picture& picture, const TwoColourRows& rows, std::string& file) {
    libdeflate_compressor* compressor = ThreadCompressor();
    if (!compressor) return false;
    std::string filtered;
    filtered.reserve((rows.stride + 1) * static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        filtered += '\0';
        filtered.append(reinterpret_cast<const char*>(rows.bits.data()) + rows.stride * static_cast<std::size_t>(y),
                        rows.stride);
    }
    std::string compressed(libdeflate_zlib_compress_bound(compressor, filtered.size()), '\0');
    compressed.resize(
        libdeflate_zlib_compress(compressor, filtered.data(), filtered.size(), compressed.data(), compressed.size()));
    if (compressed.empty()) return false;

    std::string header;
    Put32(header, static_cast<std::uint32_t>(picture.width));
    Put32(header, static_cast<std::uint32_t>(picture.height));
    header.append("\x01\x03\x00\x00\x00", 5);  // depth, colour type, compression, filter, interlace
    std::string palette;
    PutColour(palette, rows.first);
    if (rows.hasSecond) PutColour(palette, rows.second);

    file.assign("\x89PNG\r\n\x1A\n", 8);
    file.reserve(file.size() + 4 * 12 + header.size() + palette.size() + compressed.size());
    PutChunk(file, "IHDR", header);
    PutChunk(file, "PLTE", palette);
    PutChunk(file, "IDAT", compressed);
    PutChunk(file, "IEND", {});
    return true;
}

}  // namespace

int WritePngFile(const Picture& picture, std::FILE* stream, PngForm form) {
    if (!stream || picture.width <= 0 || picture.height <= 0) return 0;
    TwoColourRows rows;
    if (form == PngForm::indexed && PackTwoColours(picture, rows)) {
        std::string file;
        if (!IndexedPngFile(picture, rows, file) || std::fwrite(file.data(), 1, file.size(), stream) != file.size())
            return 0;
    } else if (!WriteRgbPng(picture, stream)) {
        return 0;
    }
    // Bytes still in the stream's buffer have not reached the file yet.
    if (std::fflush(stream) != 0 || std::ferror(stream)) return 0;
    return 1;
}

}  // namespace quarvel
