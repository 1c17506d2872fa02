// Descriptors bounded by design, not by the limit: with 256 files to open, as
// `ulimit -n 256` leaves a process, any input goes through whole: documents of many
// pictures in one batch, a collection of thousands of pieces, a tree deeper than the
// limit is wide.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/collection.h"
#include "engine/jobs.h"
#include "engine/pieces.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {
namespace {

constexpr int kOpenFiles = 256;

// Documents of `stretches` stretches each.
void WriteDocuments(const std::filesystem::path& folder, int documents, int stretches) {
    std::string art;
    for (int i = 0; i < stretches; ++i) art += "<dt>" + std::to_string(i) + "<dd>a" + std::to_string(i) + "\r\n";
    for (int i = 0; i < documents; ++i) test::WriteFile(folder / ("d" + std::to_string(i) + ".htm"), art);
}

// Converts the folder's tree: how many documents were converted, and how many pictures
// written; every failure fails the test.
std::pair<int, int> ConvertTree(const std::string& folder) {
    test::RecordingProgress progress;
    FolderConversionJob job;
    job.folder = folder;
    job.settings = test::DefaultSettings(&progress);
    job.settings.workers = 2;
    const JobResult result = RunFolderJob(job, progress);
    for (const std::string& message : progress.messages) ADD_FAILURE() << message;
    int converted = 0, pictures = 0;
    for (const DocumentResult& document : result.documents) {
        converted += document.outcome == Outcome::converted;
        pictures += document.pictures;
    }
    return {converted, pictures};
}

TEST(OpenFiles, AFewHundredAreEnoughForAnyInput) {
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        std::function<void(const std::filesystem::path&)> runAndCheck;
    };
    const Case cases[] = {
        {"convert-folder, 7 documents of 1,300 stretches in one batch",
         [](const std::filesystem::path& dir) { WriteDocuments(dir, 7, 1300); },
         [](const std::filesystem::path& dir) { EXPECT_EQ(ConvertTree(dir.string()), std::make_pair(7, 7 * 1300)); }},
        {"convert-folder, a chain of 1,000 folders with a document in each",
         [](const std::filesystem::path& dir) {
             test::MakeFolderChain(dir, 1000, "d", [](int folder, int) { test::WriteFileAt(folder, "x.htm", "<dd>a\r\n"); });
         },
         [](const std::filesystem::path& dir) { EXPECT_EQ(ConvertTree(dir.string()), std::make_pair(1000, 1000)); }},
        {"render-pieces, a collection of 3,000 pieces",
         [](const std::filesystem::path&) {},
         [](const std::filesystem::path& dir) {
             std::string mlt;
             for (int i = 0; i < 3000; ++i) mlt += "piece " + std::to_string(i) + "\n[SPLIT]\n";
             const Collection collection = ReadCollection(mlt, CollectionKind::mlt);
             PiecesSettings settings;
             settings.workers = 2;
             std::vector<DrawnPiece> drawn;
             const Result<void> done = DrawCollection(collection, (dir / "out").string(), "x", settings, drawn);
             EXPECT_TRUE(done.ok()) << (done ? "" : MessageText(done.failure()));
             EXPECT_EQ(drawn.size(), 3000u);
             EXPECT_TRUE(std::filesystem::exists(dir / "out/3000.png"));
             EXPECT_TRUE(std::filesystem::exists(dir / "out" / std::string(kIndexPageName)));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // In memory where the system has it: what is measured is descriptors, not how
        // long a disk takes for each flush.
        const test::TempDir dir(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "");
        c.make(dir.path());
        const test::OpenFileLimit limit(kOpenFiles);
        c.runAndCheck(dir.path());
    }
}

}  // namespace
}  // namespace quarvel::engine
