// Rendering speed: the whole RenderTextArt call against PNG encoding alone.

#include <benchmark/benchmark.h>

#include <cstdio>
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
    return quarvel::PreparePlainText(quarvel::Utf8ToCp932WithReferences(utf8));
}

void BM_RenderTextArt(benchmark::State& state, const char* name) {
    const std::string text = LoadExample(name);
    for (auto _ : state) {
        std::FILE* sink = std::fopen("/dev/null", "wb");
        benchmark::DoNotOptimize(quarvel::RenderTextArt(text.c_str(), sink, quarvel::Appearance{}));
    }
}

void BM_RenderPictureOnly(benchmark::State& state, const char* name) {
    const std::string text = LoadExample(name);
    for (auto _ : state) {
        quarvel::Picture p = quarvel::RenderPicture(text.c_str(), quarvel::Appearance{});
        benchmark::DoNotOptimize(p.rgb.data());
    }
}

void BM_WritePngFile(benchmark::State& state, const char* name) {
    const quarvel::Picture picture = quarvel::RenderPicture(LoadExample(name).c_str(), quarvel::Appearance{});
    for (auto _ : state) {
        std::FILE* sink = std::fopen("/dev/null", "wb");
        benchmark::DoNotOptimize(quarvel::WritePngFile(picture, sink));
        std::fclose(sink);
    }
    state.counters["pixels"] = picture.width * picture.height;
}

BENCHMARK_CAPTURE(BM_RenderTextArt, small, "small.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderTextArt, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderTextArt, large, "large.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderPictureOnly, small, "small.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderPictureOnly, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderPictureOnly, large, "large.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WritePngFile, small, "small.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WritePngFile, medium, "medium.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WritePngFile, large, "large.txt")->Unit(benchmark::kMicrosecond);

}  // namespace
