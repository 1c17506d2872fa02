// The conversion engine: scanning large documents and converting folders of them,
// against the renderer alone on the same stretches.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/code_convert.h"
#include "engine/jobs.h"
#include "render/png_writer.h"
#include "render/references.h"
#include "render/renderer.h"
#include "support/engine_test_support.h"

namespace quarvel {

using engine::AllCores;
using engine::Backup;
using engine::ConversionSettings;
using engine::ConvertDocument;
using engine::DocumentCode;
using engine::FolderConversionJob;
using engine::JobProgress;
using engine::ShiftJisToEuc;
using engine::StartFolderJob;
using engine::SubFolders;

using render::Appearance;
using render::EncodePng;
using render::PngForm;
using render::RenderPicture;
using render::Utf8ToCp932WithReferences;

namespace {

class SilentProgress : public JobProgress {
public:
    SilentProgress() { initialized = true; }
    void SetProgressText(const std::string&) override {}
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// A folder under the system's temporary folder that goes away with the object.
class ScratchFolder {
public:
    ScratchFolder() : path_(std::filesystem::temp_directory_path() / ("quarvel-bench-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

void Write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A saved thread without any stretch: ASCII markup and Shift-JIS text, CR LF lines.
std::string LargeDocument(std::size_t size) {
    const std::string line =
        "<dt>123 \x96\xBC\x91\x4F\x81\x46\x96\xBC\x96\xB3\x82\xB5\x82\xB3\x82\xF1 2024/05/01 12:34:56<br>"
        "\x82\xB1\x82\xEA\x82\xCD\x83\x65\x83\x58\x83\x67\x82\xC5\x82\xB7\x81\x42 text text<br>\r\n";
    std::string doc;
    doc.reserve(size + line.size());
    while (doc.size() < size) doc += line;
    doc.resize(size);
    return doc;
}

// Peak resident memory of converting one document, measured in a child process so
// that nothing of the benchmark itself is counted.
double PeakMegabytesOfConversion(const std::string& path, const ConversionSettings& settings) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ConvertDocument(path, settings);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    struct rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ScanDocumentWithoutStretches(benchmark::State& state) {
    const bool euc = state.range(0) == 1;
    const std::size_t size = 64u << 20;
    ScratchFolder folder;
    const std::string path = (folder.path() / "big.htm").string();
    {
        std::string doc = LargeDocument(size);
        Write(path, euc ? ShiftJisToEuc(doc) : doc);
    }
    SilentProgress progress;
    ConversionSettings settings;
    settings.startSeparators = {"<dd>", "", ""};
    settings.endSeparators = {"\r\n", "<dt>", "</dl>"};
    settings.code = euc ? DocumentCode::eucJp : DocumentCode::shiftJis;
    settings.progress = &progress;

    const double peak = PeakMegabytesOfConversion(path, settings);
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) benchmark::DoNotOptimize(ConvertDocument(path, settings));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["doc_MB"] = static_cast<double>(bytes) / (1 << 20);
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_ScanDocumentWithoutStretches)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("euc")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Twenty pieces of text art of a few lines each, different per document.
std::vector<std::string> Stretches(int document) {
    std::mt19937 random(static_cast<unsigned>(document));
    const char* pieces[] = {"\x81\x40", "\x81\x5E", "\x81\x52", "\x83\x6D", "\x81\x40\x81\x40", "(",        ")",
                            "\x81\x4B", "\x83\x56", "&gt;",     "|",        "\x81\x51",         "\x81\x5C", " "};
    std::vector<std::string> out;
    for (int s = 0; s < 20; ++s) {
        std::string art;
        for (int line = 0; line < 6; ++line) {
            if (line) art += "<br>";
            for (int k = 0; k < 24; ++k) art += pieces[random() % std::size(pieces)];
        }
        out.push_back(std::move(art));
    }
    return out;
}

constexpr int kDocuments = 200;

void BM_FolderJob(benchmark::State& state) {
    ScratchFolder folder;
    std::vector<std::string> docs;
    for (int d = 0; d < kDocuments; ++d) {
        std::string doc = "<html><body><dl>\r\n";
        int n = 0;
        for (const std::string& art : Stretches(d)) doc += "<dt>" + std::to_string(++n) + " name<dd>" + art + "\r\n";
        doc += "</dl></body></html>\r\n";
        docs.push_back(std::move(doc));
    }
    SilentProgress progress;
    ConversionSettings settings;
    settings.startSeparators = {"<dd>", "", ""};
    settings.endSeparators = {"\r\n", "<dt>", "</dl>"};
    settings.progress = &progress;
    settings.workers = static_cast<int>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        for (int d = 0; d < kDocuments; ++d) Write(folder.path() / ("t" + std::to_string(d) + ".htm"), docs[d]);
        state.ResumeTiming();
        FolderConversionJob job;
        job.folder = folder.path().string();
        job.subFolders = SubFolders::no;
        job.backup = state.range(0) ? Backup::yes : Backup::no;
        job.settings = settings;
        StartFolderJob(job).join();
        if (!test::Succeeded(job.result)) state.SkipWithError("the folder job failed");
        state.PauseTiming();
        // Every run a first conversion: no copies, no pictures yet.
        std::filesystem::remove_all(folder.path() / "backup");
        for (int d = 0; d < kDocuments; ++d) std::filesystem::remove_all(folder.path() / ("t" + std::to_string(d)));
        state.ResumeTiming();
    }
    state.counters["per_picture"] = benchmark::Counter(static_cast<double>(state.iterations()) * kDocuments * 20,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FolderJob)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->ArgNames({"backup", "workers"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The renderer alone on the same stretches, each into its own file. Both this and the
// folder job count the processor time of the whole process (the job runs on a worker
// thread), which other programs on the machine disturb less than the wall clock.
void BM_RenderAndWriteAlone(benchmark::State& state) {
    ScratchFolder folder;
    std::vector<std::string> stretches;
    for (int d = 0; d < kDocuments; ++d)
        for (std::string& art : Stretches(d)) stretches.push_back(std::move(art));
    for (auto _ : state) {
        int n = 0;
        for (const std::string& art : stretches) {
            std::ofstream file(folder.path() / (std::to_string(++n) + ".png"), std::ios::binary);
            const Result<std::string> png = EncodePng(RenderPicture(art.c_str(), Appearance{}), PngForm::rgb);
            file.write(png->data(), static_cast<std::streamsize>(png->size()));
        }
        state.PauseTiming();
        for (int k = 1; k <= n; ++k) std::filesystem::remove(folder.path() / (std::to_string(k) + ".png"));
        state.ResumeTiming();
    }
    state.counters["per_picture"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(stretches.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RenderAndWriteAlone)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The art of an example as a stretch of a saved thread holds it: code page 932, its
// lines joined by <br>.
std::string ExampleStretch(const char* name) {
    std::ifstream in(std::string(QUARVEL_EXAMPLES_DIR) + "/" + name, std::ios::binary);
    const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string art;
    for (char c : Utf8ToCp932WithReferences(utf8)) {
        if (c == '\n')
            art += "<br>";
        else if (c != '\r')
            art += c;
    }
    while (art.ends_with("<br>")) art.resize(art.size() - 4);
    return art;
}

// A thread whose answers each hold the art as their stretch.
std::string ThreadOf(const std::string& art, int answers) {
    std::string doc = "<html><body><dl>\r\n";
    for (int n = 1; n <= answers; ++n) doc += "<dt>" + std::to_string(n) + " name<dd>" + art + "\r\n";
    return doc + "</dl></body></html>\r\n";
}

// Folder jobs over `documents` documents of `answers` stretches of the medium sample
// (30 lines) each, with the given workers; wall clock, every run a first conversion.
void RunFolderOfThreads(benchmark::State& state, int documents, int answers, int workers) {
    ScratchFolder folder;
    const std::string doc = ThreadOf(ExampleStretch("medium.txt"), answers);
    SilentProgress progress;
    ConversionSettings settings;
    settings.startSeparators = {"<dd>", "", ""};
    settings.endSeparators = {"\r\n", "<dt>", "</dl>"};
    settings.progress = &progress;
    settings.workers = workers;
    for (auto _ : state) {
        state.PauseTiming();
        for (int d = 0; d < documents; ++d) {
            const std::string name = "t" + std::to_string(d);
            std::filesystem::remove_all(folder.path() / name);
            Write(folder.path() / (name + ".htm"), doc);
        }
        state.ResumeTiming();
        FolderConversionJob job;
        job.folder = folder.path().string();
        job.subFolders = SubFolders::no;
        job.backup = Backup::no;
        job.settings = settings;
        StartFolderJob(job).join();
        if (!test::Succeeded(job.result)) state.SkipWithError("the job failed");
    }
    state.counters["per_picture"] = benchmark::Counter(static_cast<double>(state.iterations()) * documents * answers,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Workers 1, 2 and the number of cores.
void WorkerCounts(benchmark::internal::Benchmark* b) {
    for (int workers : {1, 2}) b->Arg(workers);
    if (AllCores() > 2) b->Arg(AllCores());
    b->ArgName("workers");
}

// One thread of 100 answers of 30-line art.
void BM_ConvertThread(benchmark::State& state) { RunFolderOfThreads(state, 1, 100, static_cast<int>(state.range(0))); }
BENCHMARK(BM_ConvertThread)->Apply(WorkerCounts)->Unit(benchmark::kMillisecond)->UseRealTime();

// A folder of small documents: 100 threads of one or two answers of the same art.
void BM_FolderOfSmallThreads(benchmark::State& state) {
    RunFolderOfThreads(state, 100, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}
BENCHMARK(BM_FolderOfSmallThreads)
    ->ArgsProduct({{1, 2}, {1, 2}})
    ->ArgNames({"answers", "workers"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace quarvel
