// Peak memory on the largest inputs: text art far wider than a picture, a document of
// half-width katakana, a settings file of blank lines. Each case runs once in a child
// process whose maximum resident size is the peak (the input, built before the child
// starts, counts too); the timed loop runs the same work in the benchmark's process.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <benchmark/benchmark.h>

#include "engine/code_convert.h"
#include "engine/conversion.h"
#include "render/png_writer.h"
#include "render/renderer.h"
#include "render/text_prep.h"
#include "settings/settings_file.h"
#include "support/settings_test_support.h"

namespace quarvel {

using settings::AllSettings;
using test::LoadAllSettings;
using test::SaveAllSettings;

using engine::ConversionSettings;
using engine::ConvertDocument;
using engine::DocumentCode;
using engine::JobProgress;

using render::Appearance;
using render::EncodePng;
using render::PngForm;
using render::PrepareTextFile;
using render::RenderPicture;
using render::TextEncoding;
using render::TextForm;

using platform::Picture;

namespace {

constexpr std::size_t kMegabyte = 1 << 20;

// Maximum resident size, in MB, of a child process that runs `work` once.
double PeakMegabytesInChild(const std::function<void()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        work();
        ::_exit(0);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Report(benchmark::State& state, std::size_t inputBytes, double peak) {
    const double input = static_cast<double>(inputBytes) / kMegabyte;
    state.counters["input_MB"] = input;
    state.counters["peak_MB"] = peak;
    state.counters["limit_MB"] = 3 * input + 64;  // the target: peak at most this
    if (peak < 0) state.SkipWithError("the measured run failed");
}

std::string Repeat(std::string_view unit, std::size_t size) {
    std::string out;
    out.reserve(size);
    while (out.size() + unit.size() <= size) out += unit;
    return out;
}

// What `quarvel-cli render --html` does with the bytes of its file, without the cap on
// the file's size: prepare, draw, write the picture.
void RenderHtmlText(std::string bytes) {
    const std::string text = PrepareTextFile(std::move(bytes), TextEncoding::automatic, TextForm::html);
    const Picture picture = RenderPicture(text.c_str(), Appearance{});
    benchmark::DoNotOptimize(EncodePng(picture, PngForm::rgb));
}

void BM_RenderHtmlText(benchmark::State& state, std::string_view unit) {
    std::string input = Repeat(unit, 64 * kMegabyte);
    const std::size_t size = input.size();
    // The child takes the bytes over, as the command does with what it has read.
    const double peak = PeakMegabytesInChild([&] { RenderHtmlText(std::move(input)); });
    for (auto _ : state) RenderHtmlText(input);
    Report(state, size, peak);
}
// Lines of "♥あ" in UTF-8 (a line feed is no line break in HTML: one very long line).
BENCHMARK_CAPTURE(BM_RenderHtmlText, hearts_lines, "\xE2\x99\xA5\xE3\x81\x82\n")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
// One stretch of decimal references to U+2665.
BENCHMARK_CAPTURE(BM_RenderHtmlText, heart_references, "&#9829;")->Unit(benchmark::kMillisecond)->Iterations(1);

class SilentProgress : public JobProgress {
public:
    SilentProgress() { initialized = true; }
    void SetProgressText(const std::string&) override {}
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

std::filesystem::path ScratchFile(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("quarvel-bench-" + std::to_string(::getpid()) + "-" + name);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Scanning a 64 MB EUC-JP document of half-width katakana (each two bytes, 8E xx)
// without stretches: every katakana is one place where the Shift-JIS form is shorter.
void BM_ScanEucKana(benchmark::State& state) {
    const auto path = ScratchFile("kana.htm");
    std::string line;
    for (int i = 0; i < 40; ++i) line += "\x8E\xB1\x8E\xB2\x8E\xDD\x8E\xDE";
    WriteFile(path, Repeat(line + "\r\n", 64 * kMegabyte));
    const auto size = std::filesystem::file_size(path);
    SilentProgress progress;
    ConversionSettings settings;
    settings.startSeparators = {"<dd>"};
    settings.endSeparators = {"\r\n", "<dt>", "</dl>"};
    settings.code = DocumentCode::eucJp;
    settings.progress = &progress;
    const double peak = PeakMegabytesInChild([&] { ConvertDocument(path.string(), settings); });
    for (auto _ : state) benchmark::DoNotOptimize(ConvertDocument(path.string(), settings));
    Report(state, size, peak);
    std::filesystem::remove(path);
    std::filesystem::remove_all(path.parent_path() / path.stem());
}
BENCHMARK(BM_ScanEucKana)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Loading all settings from, and saving them into, a 10 MB file of blank lines, a
// section at a time as the window does.
void BM_SettingsFileOfBlankLines(benchmark::State& state) {
    const auto path = ScratchFile("blank.ini");
    const std::string blank = Repeat("\r\n", 10 * kMegabyte);
    auto loadAndSave = [&] {
        AllSettings settings;
        benchmark::DoNotOptimize(LoadAllSettings(path, settings).ok());
        benchmark::DoNotOptimize(SaveAllSettings(path, settings).ok());
    };
    WriteFile(path, blank);
    const double peak = PeakMegabytesInChild(loadAndSave);
    for (auto _ : state) {
        state.PauseTiming();
        WriteFile(path, blank);
        state.ResumeTiming();
        loadAndSave();
    }
    Report(state, blank.size(), peak);
    std::filesystem::remove(path);
}
BENCHMARK(BM_SettingsFileOfBlankLines)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace quarvel
