// PNG encoding: each form against libpng called directly with its defaults, on the
// pictures of the examples (time, and the file's size as the counter "bytes").

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "render/png_writer.h"
#include "render/references.h"
#include "render/renderer.h"
#include "render/text_prep.h"
#include "render/two_colour.h"

namespace quarvel {

using render::Appearance;
using render::EncodePng;
using render::PackTwoColours;
using render::PngForm;
using render::PreparePlainText;
using render::RenderPicture;
using render::TwoColourRows;
using render::Utf8ToCp932WithReferences;

using platform::Picture;

namespace {

Picture ExamplePicture(const char* name) {
    std::ifstream in(std::string(QUARVEL_EXAMPLES_DIR) + "/" + name, std::ios::binary);
    const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return RenderPicture(PreparePlainText(Utf8ToCp932WithReferences(utf8)).c_str(), Appearance{});
}

void BM_EncodePng(benchmark::State& state, const char* name, PngForm form) {
    const Picture picture = ExamplePicture(name);
    for (auto _ : state) benchmark::DoNotOptimize(EncodePng(picture, form));
    state.counters["bytes"] = static_cast<double>(EncodePng(picture, form)->size());
}

// The reference: an 8-bit RGB PNG straight through libpng's write calls with its
// defaults (adaptive filters, zlib's default level), the way any program would write
// these rows, and the way this program wrote them before its own writer.
void BM_LibpngRgb(benchmark::State& state, const char* name) {
    const Picture picture = ExamplePicture(name);
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y) rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(picture.row(y));
    auto write = [&](std::FILE* sink) {
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) std::abort();
        png_init_io(png, sink);
        png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_write_image(png, rows.data());
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
    };
    for (auto _ : state) {
        std::FILE* sink = std::fopen("/dev/null", "wb");
        write(sink);
        std::fclose(sink);
    }
    std::FILE* f = std::tmpfile();
    write(f);
    state.counters["bytes"] = static_cast<double>(std::ftell(f));
    std::fclose(f);
}

// The indexed form as libpng and zlib would write it (same packed rows, palette and
// default compression): what the writer's own chunks and libdeflate are measured
// against.
void BM_LibpngIndexed(benchmark::State& state, const char* name) {
    const Picture picture = ExamplePicture(name);
    auto write = [&picture](std::FILE* sink) {
        TwoColourRows packed;
        PackTwoColours(picture, packed);
        std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
        for (int y = 0; y < picture.height; ++y)
            rows[static_cast<std::size_t>(y)] = packed.bits.data() + packed.stride * static_cast<std::size_t>(y);
        const png_color palette[2] = {{packed.first.red, packed.first.green, packed.first.blue},
                                      {packed.second.red, packed.second.green, packed.second.blue}};
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) std::abort();
        png_init_io(png, sink);
        png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 1,
                     PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(png, info, palette, packed.hasSecond ? 2 : 1);
        png_write_info(png, info);
        png_write_image(png, rows.data());
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
    };
    for (auto _ : state) {
        std::FILE* sink = std::fopen("/dev/null", "wb");
        write(sink);
        std::fclose(sink);
    }
    std::FILE* f = std::tmpfile();
    write(f);
    state.counters["bytes"] = static_cast<double>(std::ftell(f));
    std::fclose(f);
}

// Packing the pixels at one bit each, the indexed form's own work before zlib.
void BM_PackTwoColours(benchmark::State& state, const char* name) {
    const Picture picture = ExamplePicture(name);
    for (auto _ : state) {
        TwoColourRows packed;
        benchmark::DoNotOptimize(PackTwoColours(picture, packed));
        benchmark::DoNotOptimize(packed.bits.data());
    }
    state.counters["pixels"] = picture.width * picture.height;
}

BENCHMARK_CAPTURE(BM_EncodePng, rgb_medium, "medium.txt", PngForm::rgb)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, rgb_large, "large.txt", PngForm::rgb)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, indexed_medium, "medium.txt", PngForm::indexed)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, indexed_large, "large.txt", PngForm::indexed)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LibpngRgb, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LibpngRgb, large, "large.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LibpngIndexed, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LibpngIndexed, large, "large.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PackTwoColours, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PackTwoColours, large, "large.txt")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quarvel
