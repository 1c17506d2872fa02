// PNG encoding: each form against libpng called directly with its defaults, on the
// pictures of the examples (time, and the file's size as the counter "bytes").

#include <fstream>
#include <iterator>
#include <string>

#include <benchmark/benchmark.h>

#include "bench/libpng_reference.h"
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

// The references: libpng's defaults (adaptive filters, zlib at level 6) on the same
// pixels, the way any program would write them and the way this program wrote RGB
// before its own writer; and the indexed form as libpng writes a palette.
void BM_LibpngRgb(benchmark::State& state, const char* name) {
    const Picture picture = ExamplePicture(name);
    for (auto _ : state) benchmark::DoNotOptimize(bench::LibpngRgb(picture));
    state.counters["bytes"] = static_cast<double>(bench::LibpngRgb(picture).size());
}

void BM_LibpngIndexed(benchmark::State& state, const char* name) {
    const Picture picture = ExamplePicture(name);
    for (auto _ : state) benchmark::DoNotOptimize(bench::LibpngPalette(picture));
    state.counters["bytes"] = static_cast<double>(bench::LibpngPalette(picture).size());
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
