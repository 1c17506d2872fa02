// PNG encoding: each form against libpng called directly with its defaults, on the
// pictures of the examples (time, and the file's size as the counter "bytes"); each
// form at the scales 2 to 4 and with a transparent background.

#include <fstream>
#include <iterator>
#include <string>

#include <benchmark/benchmark.h>

#include "support/libpng_reference.h"
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
using render::PngOptions;
using render::PreparePlainText;
using render::RenderPicture;
using render::TwoColourRows;
using render::Utf8ToCp932WithReferences;

using platform::kWhite;
using platform::Picture;

namespace {

Picture ExamplePicture(const char* name) {
    std::ifstream in(std::string(QUARVEL_EXAMPLES_DIR) + "/" + name, std::ios::binary);
    const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return RenderPicture(PreparePlainText(Utf8ToCp932WithReferences(utf8)).c_str(), Appearance{});
}

void BM_EncodePng(benchmark::State& state, const char* name, PngOptions options) {
    const Picture picture = ExamplePicture(name);
    for (auto _ : state) benchmark::DoNotOptimize(EncodePng(picture, options));
    state.counters["bytes"] = static_cast<double>(EncodePng(picture, options)->size());
}

// The references: libpng's defaults (adaptive filters, zlib at level 6) on the same
// pixels, the way any program would write them and the way this program wrote RGB
// before its own writer; and the indexed form as libpng writes a palette.
void BM_LibpngRgb(benchmark::State& state, const char* name) {
    const Picture picture = ExamplePicture(name);
    for (auto _ : state) benchmark::DoNotOptimize(test::LibpngRgb(picture));
    state.counters["bytes"] = static_cast<double>(test::LibpngRgb(picture).size());
}

void BM_LibpngIndexed(benchmark::State& state, const char* name) {
    const Picture picture = ExamplePicture(name);
    for (auto _ : state) benchmark::DoNotOptimize(test::LibpngPalette(picture));
    state.counters["bytes"] = static_cast<double>(test::LibpngPalette(picture).size());
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

BENCHMARK_CAPTURE(BM_EncodePng, rgb_medium, "medium.txt", PngOptions{PngForm::rgb})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, rgb_large, "large.txt", PngOptions{PngForm::rgb})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, indexed_medium, "medium.txt", PngOptions{PngForm::indexed})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, indexed_large, "large.txt", PngOptions{PngForm::indexed})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, rgb_medium_x2, "medium.txt", PngOptions{PngForm::rgb, 2})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, rgb_large_x2, "large.txt", PngOptions{PngForm::rgb, 2})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, rgb_large_x3, "large.txt", PngOptions{PngForm::rgb, 3})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, rgb_large_x4, "large.txt", PngOptions{PngForm::rgb, 4})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, indexed_medium_x2, "medium.txt", PngOptions{PngForm::indexed, 2})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, indexed_large_x2, "large.txt", PngOptions{PngForm::indexed, 2})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, indexed_large_x4, "large.txt", PngOptions{PngForm::indexed, 4})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, clear_medium, "medium.txt", PngOptions{PngForm::rgb, 1, kWhite})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodePng, clear_large_x2, "large.txt", PngOptions{PngForm::rgb, 2, kWhite})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LibpngRgb, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LibpngRgb, large, "large.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LibpngIndexed, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LibpngIndexed, large, "large.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PackTwoColours, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PackTwoColours, large, "large.txt")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quarvel
