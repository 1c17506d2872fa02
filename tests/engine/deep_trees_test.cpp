// Folder walks on trees deeper than any real one, made with openat so that no path the
// system resolves is ever too long: the walk goes kMaxWalkDepth levels down, says that
// the folder below is too deep, leaves its tree alone and goes on; nothing crashes,
// however deep the tree.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "allocation_peak.h"
#include "engine/jobs.h"
#include "engine/restore.h"
#include "platform/fs_walk.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {
namespace {

namespace fs = platform::fs;

constexpr const char* kDoc = "<dd>art\r\n";

// The folder `level` levels below `root` in a chain of folders named "d".
std::string LevelPath(const std::string& root, int level) {
    std::string path = root;
    for (int i = 0; i < level; ++i) path += "/d";
    return path;
}

enum class Job { convertFolder, restoreFolder };

// What each document and failure came to, in the order the job met them.
using Met = std::vector<std::pair<std::string, std::string>>;

Met RunJob(Job job, const std::string& root) {
    Met met;
    if (job == Job::convertFolder) {
        test::RecordingProgress progress;
        FolderConversionJob folderJob;
        folderJob.folder = root;
        folderJob.settings = test::DefaultSettings(&progress);
        const JobResult result = RunFolderJob(folderJob, progress);
        for (const Failure& failure : result.messages)
            met.emplace_back(failure.path, failure.Is(Failure::What::tooDeep) ? "too deep" : "other failure");
        for (const DocumentResult& document : result.documents)
            met.emplace_back(document.path, document.outcome == Outcome::converted ? "done" : "not done");
    } else {
        for (const DocumentResult& result : RestoreFolder(root, "*.htm", SubFolders::yes, fs::RealFileSystem())) {
            if (result.failure)
                met.emplace_back(result.path, result.failure->Is(Failure::What::tooDeep) ? "too deep" : "other failure");
            else
                met.emplace_back(result.path, result.outcome == Outcome::restored ? "done" : "not done");
        }
    }
    return met;
}

TEST(DeepTrees, AWalkGoesDownToItsDepthAndSaysWhatLiesBelow) {
    const int deepest = fs::kMaxWalkDepth;
    struct Case {
        const char* name;
        Job job;
        int levels;
    };
    const Case cases[] = {
        {"convert-folder, a chain of 30,000 folders", Job::convertFolder, 30000},
        {"restore-folder, a chain of 12,000 folders", Job::restoreFolder, 12000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // In memory where the system has it: a disk takes milliseconds for each folder
        // removed.
        const test::TempDir dir(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "");
        const std::string root = dir.path().string();
        // A document at the top, at the deepest level walked and at the one below it;
        // for restore-folder each with its copy in backup/.
        const std::set<int> withDocument = {1, deepest, deepest + 1};
        test::MakeFolderChain(dir.path(), c.levels, "d", [&](int folder, int level) {
            if (!withDocument.count(level)) return;
            test::WriteFileAt(folder, "x.htm", kDoc);
            if (c.job != Job::restoreFolder) return;
            ASSERT_EQ(::mkdirat(folder, "backup", 0777), 0);
            const int backup = ::openat(folder, "backup", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            test::WriteFileAt(backup, "x.htm", "before\r\n");
            ::close(backup);
        });
        // The walk's own turn for each folder comes after its sub-folders': the
        // deepest first.
        EXPECT_EQ(RunJob(c.job, root), (Met{{LevelPath(root, deepest + 1), "too deep"},
                                            {LevelPath(root, deepest) + "/x.htm", "done"},
                                            {LevelPath(root, 1) + "/x.htm", "done"}}));
        // Gone in time linear in its depth (a walk by paths takes its square).
        test::RemoveTree(dir.path() / "d");
    }
}

// However deep it goes, a walk keeps the same few bytes for each level: on a chain of
// folders whose path is 128 KiB long, it holds a few copies of that path and a few
// hundred bytes a level (a copy of the path at each level would be 256 MiB).
TEST(DeepTrees, AWalkTakesTheSameMemoryAtEveryLevel) {
    const std::string name(31, 'd');
    for (const Job job : {Job::convertFolder, Job::restoreFolder}) {
        SCOPED_TRACE(job == Job::convertFolder ? "convert-folder" : "restore-folder");
        const test::TempDir dir(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "");
        test::MakeFolderChain(dir.path(), fs::kMaxWalkDepth + 10, name, [&](int folder, int level) {
            if (level == 1) test::WriteFileAt(folder, "x.htm", kDoc);
        });
        const std::int64_t path = static_cast<std::int64_t>(fs::kMaxWalkDepth * (name.size() + 1));
        Met met;
        const std::int64_t peak = test::PeakAllocated([&] { met = RunJob(job, dir.path().string()); });
        // convert-folder: the folder too deep and the document; restore-folder: the folder
        // too deep only (the document has no copy to restore).
        EXPECT_EQ(met.size(), job == Job::convertFolder ? 2u : 1u);
        EXPECT_LE(peak, 16 * path + fs::kMaxWalkDepth * 256) << "MiB: " << (peak >> 20);
        test::RemoveTree(dir.path() / name);
    }
}

}  // namespace
}  // namespace quarvel::engine
