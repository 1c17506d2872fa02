// Rendering speed: drawing a picture, and drawing it with its PNG file, in each form.

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "render/png_writer.h"
#include "render/references.h"
#include "render/renderer.h"
#include "render/text_prep.h"

namespace {

std::string LoadExample(const char* name) {
    std::ifstream in(std::string(QUARVEL_EXAMPLES_DIR) + "/" + name, std::ios::binary);
    std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return quarvel::render::PreparePlainText(quarvel::render::Utf8ToCp932WithReferences(utf8));
}

void BM_RenderAndEncode(benchmark::State& state, const char* name, quarvel::render::PngForm form) {
    const std::string text = LoadExample(name);
    for (auto _ : state) {
        const quarvel::platform::Picture picture =
            quarvel::render::RenderPicture(text.c_str(), quarvel::render::Appearance{});
        benchmark::DoNotOptimize(quarvel::render::EncodePng(picture, form));
    }
}

void BM_RenderPictureOnly(benchmark::State& state, const char* name) {
    const std::string text = LoadExample(name);
    for (auto _ : state) {
        quarvel::platform::Picture p = quarvel::render::RenderPicture(text.c_str(), quarvel::render::Appearance{});
        benchmark::DoNotOptimize(p.rgb.data());
    }
}

BENCHMARK_CAPTURE(BM_RenderAndEncode, small, "small.txt", quarvel::render::PngForm::rgb)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderAndEncode, medium, "medium.txt", quarvel::render::PngForm::rgb)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderAndEncode, large, "large.txt", quarvel::render::PngForm::rgb)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderAndEncode, indexed_medium, "medium.txt", quarvel::render::PngForm::indexed)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderAndEncode, indexed_large, "large.txt", quarvel::render::PngForm::indexed)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderPictureOnly, small, "small.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderPictureOnly, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderPictureOnly, large, "large.txt")->Unit(benchmark::kMicrosecond);

}  // namespace
