// restore-folder in time that grows with the documents, not with their square: each
// folder and its backup/ are listed once for all its documents, which look their
// copies up in what was listed.

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "engine/restore.h"
#include "support/test_support.h"

namespace quarvel::engine {
namespace {

namespace fs = platform::fs;

// Counts the listings of each folder.
class CountingFileSystem : public fs::FileSystem {
public:
    std::map<std::string, int> listed;

    Result<std::vector<fs::Entry>> List(const std::string& folder, std::string_view pattern) override {
        ++listed[folder];
        return fs::FileSystem::List(folder, pattern);
    }
};

TEST(BackupListing, EachFolderAndItsBackupAreListedOnceForAllItsDocuments) {
    for (int documents : {1, 7, 60}) {
        SCOPED_TRACE(documents);
        test::TempDir dir;
        const std::string root = dir.path().string();
        // Documents beside the tree's top and in a sub-folder, each with its oldest copy
        // and a later one.
        for (const std::string& folder : {root, root + "/sub"}) {
            std::filesystem::create_directories(folder + "/backup");
            for (int i = 0; i < documents; ++i) {
                const std::string name = "d" + std::to_string(i) + ".htm";
                test::WriteFile(folder + "/" + name, "converted");
                test::WriteFile(folder + "/backup/" + name, "oldest");
                test::WriteFile(folder + "/backup/" + name + ".1", "newest");
            }
        }
        CountingFileSystem counting;
        int restored = 0;
        for (const DocumentResult& result : RestoreFolder(root, "*.htm", SubFolders::yes, counting)) {
            EXPECT_FALSE(result.failure) << result.path;
            restored += result.outcome == Outcome::restored;
        }
        EXPECT_EQ(restored, 2 * documents);
        EXPECT_EQ(test::ReadFile(root + "/sub/d0.htm"), "newest");
        for (const std::string& folder : {root, root + "/sub"}) {
            EXPECT_LE(counting.listed[folder], 2) << folder;
            EXPECT_EQ(counting.listed[folder + "/backup"], 1) << folder;
        }
    }
}

}  // namespace
}  // namespace quarvel::engine
