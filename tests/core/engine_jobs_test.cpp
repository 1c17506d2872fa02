// File jobs, folder jobs and the folder walk.

#include <gtest/gtest.h>

#include "engine/jobs.h"
#include "support/test_support.h"
#include "tests/core/engine_test_support.h"

namespace quarvel {
namespace {

using test::DefaultSettings;
using test::ReadFile;
using test::RecordingProgress;
using test::Sjis;
using test::TempDir;
using test::WriteFile;

constexpr const char* kDoc = "<dd>art\r\n";
constexpr const char* kConverted = "<dd><img src=\"./%s/001.png\">\r\n";

std::string ConvertedDoc(const std::string& base) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, kConverted, base.c_str());
    return buffer;
}

class JobTest : public ::testing::Test {
protected:
    JobResult RunFolder(const std::string& folder, SubFolders sub = SubFolders::yes, Backup backup = Backup::yes,
                        const std::string& pattern = "*.htm") {
        FolderConversionJob job;
        job.folder = folder;
        job.strFileFilter = pattern;
        job.bSubFolder = sub;
        job.bBackup = backup;
        job.settings = settings;
        std::thread worker = StartFolderJob(job);
        worker.join();
        EXPECT_FALSE(progress.bRunning);
        return std::move(job.result);
    }
    std::string Path(const std::string& relative) const { return (dir / relative).string(); }

    TempDir dir;
    RecordingProgress progress;
    test::HookedFileSystem hooked;
    ConversionSettings settings = [this] {
        auto s = DefaultSettings(&progress);
        s.fileSystem = &hooked;
        return s;
    }();
};

TEST_F(JobTest, FileJobKeepsTheOldestBackup) {
    std::filesystem::create_directory(dir / "backup");
    WriteFile(dir / "backup/t.htm", "oldest");
    WriteFile(dir / "t.htm", kDoc);
    WriteFile(dir / "u.htm", kDoc);
    std::filesystem::last_write_time(dir / "u.htm", std::filesystem::file_time_type{});

    for (const char* name : {"t.htm", "u.htm"}) {
        ConversionJob job;
        job.path = Path(name);
        job.settings = settings;
        std::thread worker = StartFileJob(job);
        worker.join();
        EXPECT_TRUE(job.result.Succeeded()) << name;
    }
    EXPECT_EQ(progress.endJobs, 2);
    EXPECT_EQ(ReadFile(dir / "backup/t.htm"), "oldest");
    EXPECT_EQ(ReadFile(dir / "t.htm"), ConvertedDoc("t"));
    EXPECT_EQ(ReadFile(dir / "backup/u.htm"), kDoc);
    EXPECT_EQ(std::filesystem::last_write_time(dir / "backup/u.htm"), std::filesystem::file_time_type{});
}

TEST_F(JobTest, FolderWalkOrder) {
    for (const char* folder : {"top", "top/b", "top/a", "top/a/deep", "top/old.htm", "top/backup"})
        std::filesystem::create_directory(dir / folder);
    for (const char* doc : {"top/y.htm", "top/x.HTML", "top/b/b.htm", "top/a/a.htm", "top/a/deep/d.htm",
                            "top/backup/kept.htm", "top/note.txt"})
        WriteFile(dir / doc, kDoc);
    std::filesystem::create_directory_symlink(dir / "top/a", dir / "top/link");

    JobResult result = RunFolder(Path("top") + "/");
    EXPECT_TRUE(result.Succeeded());
    std::vector<std::string> expected;
    for (const char* step : {"copy top/a/deep/backup/d.htm", "write top/a/deep/d.htm", "copy top/a/backup/a.htm",
                             "write top/a/a.htm", "copy top/b/backup/b.htm", "write top/b/b.htm",
                             "copy top/backup/x.HTML", "copy top/backup/y.htm", "write top/x.HTML",
                             "write top/y.htm"}) {
        std::string s = step;
        auto space = s.find(' ');
        expected.push_back(s.substr(0, space + 1) + Path(s.substr(space + 1)));
    }
    EXPECT_EQ(hooked.log, expected);
    EXPECT_EQ(progress.texts[0], "deep/d.htm");
    EXPECT_EQ(ReadFile(dir / "top/backup/kept.htm"), kDoc);  // backups are never converted
    EXPECT_TRUE(std::filesystem::is_directory(dir / "top/old.htm/backup"));  // every folder gets one
    EXPECT_EQ(result.documents.size(), 5u);
    EXPECT_EQ(progress.endJobs, 1);

    // A second run converts nothing new and nests no backups.
    hooked.log.clear();
    result = RunFolder(Path("top"));
    EXPECT_TRUE(result.Succeeded());
    EXPECT_FALSE(std::filesystem::exists(dir / "top/backup/backup"));
    EXPECT_EQ(ReadFile(dir / "top/y.htm"), ConvertedDoc("y"));
    EXPECT_EQ(ReadFile(dir / "top/backup/y.htm"), kDoc);
}

TEST_F(JobTest, WithoutSubFoldersOnlyTheFolderItself) {
    std::filesystem::create_directory(dir / "sub.htm");
    WriteFile(dir / "sub.htm/in.htm", kDoc);
    WriteFile(dir / "top.htm", kDoc);
    JobResult result = RunFolder(dir.path().string(), SubFolders::no, Backup::no);
    EXPECT_EQ(result.documents.size(), 1u);
    EXPECT_EQ(ReadFile(dir / "sub.htm/in.htm"), kDoc);
    EXPECT_EQ(ReadFile(dir / "top.htm"), ConvertedDoc("top"));
    EXPECT_FALSE(std::filesystem::exists(dir / "backup"));
}

TEST_F(JobTest, EmptyPatternFindsNoDocuments) {
    // A pattern field left empty names no file: the walk must not take it as "every
    // file" and convert pictures, backups and whatever else lies in the tree.
    std::filesystem::create_directory(dir / "sub");
    WriteFile(dir / "a.htm", kDoc);
    WriteFile(dir / "sub/b.txt", kDoc);
    JobResult result = RunFolder(dir.path().string(), SubFolders::yes, Backup::no, "");
    EXPECT_TRUE(result.documents.empty());
    EXPECT_EQ(ReadFile(dir / "a.htm"), kDoc);
    EXPECT_EQ(ReadFile(dir / "sub/b.txt"), kDoc);
    EXPECT_FALSE(std::filesystem::exists(dir / "a"));
    EXPECT_FALSE(std::filesystem::exists(dir / "sub/b"));
}

TEST_F(JobTest, AbortDuringBackupsConvertsNothing) {
    WriteFile(dir / "x.htm", kDoc);
    WriteFile(dir / "y.htm", kDoc);
    hooked.onCopy = [this](const std::string&) { progress.bAbort = true; };
    JobResult result = RunFolder(dir.path().string());
    EXPECT_TRUE(result.bAborted);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(ReadFile(dir / "x.htm"), kDoc);
    EXPECT_EQ(ReadFile(dir / "y.htm"), kDoc);
    EXPECT_EQ(progress.endJobs, 1);
}

TEST_F(JobTest, FolderThatIsNotThere) {
    JobResult result = RunFolder("");
    ASSERT_EQ(progress.messages.size(), 1u);
    EXPECT_EQ(progress.messages[0], Sjis("フォルダを指定してください"));
    EXPECT_FALSE(result.Succeeded());

    result = RunFolder(Path("missing"));
    EXPECT_EQ(progress.messages.back(), Path("missing") + "\n" + Sjis("フォルダが見つかりません"));
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].path, Path("missing"));
    EXPECT_EQ(progress.endJobs, 2);
}

TEST_F(JobTest, FileJobWithoutAPathTouchesNothing) {
    int mkdirs = 0;
    hooked.failMkdir = [&](const std::string&) {
        ++mkdirs;
        return false;
    };
    ConversionJob job;
    job.settings = settings;
    std::thread worker = StartFileJob(job);
    worker.join();
    ASSERT_EQ(progress.messages.size(), 1u);
    EXPECT_EQ(progress.messages[0], Sjis("ファイルを指定してください"));
    EXPECT_TRUE(job.result.documents.empty());
    EXPECT_FALSE(job.result.Succeeded());
    EXPECT_EQ(mkdirs, 0);
    EXPECT_EQ(progress.endJobs, 1);
}

TEST_F(JobTest, FailedDocumentDoesNotStopTheWalk) {
    WriteFile(dir / "a.htm", kDoc);
    WriteFile(dir / "b.htm", kDoc);
    hooked.failWrite = [](const std::string& path) { return path.ends_with("a.htm"); };
    hooked.failMkdir = [](const std::string& path) { return path.ends_with("backup"); };
    JobResult result = RunFolder(dir.path().string());
    EXPECT_EQ(progress.messages.size(), 1u);
    EXPECT_EQ(ReadFile(dir / "a.htm"), kDoc);
    EXPECT_EQ(ReadFile(dir / "b.htm"), ConvertedDoc("b"));
    ASSERT_EQ(result.documents.size(), 2u);
    EXPECT_EQ(result.documents[0].outcome, Outcome::failed);
    EXPECT_EQ(result.documents[1].outcome, Outcome::converted);
    ASSERT_EQ(result.backupFailures.size(), 1u);  // reported to the caller, not shown
    EXPECT_EQ(result.backupFailures[0].path, Path("backup"));
    EXPECT_TRUE(result.AnyFailure());
}

TEST_F(JobTest, NoProgressMeansNoJob) {
    ConversionJob job;
    job.path = Path("x.htm");
    WriteFile(dir / "x.htm", kDoc);
    EXPECT_EQ(FileJobThreadProc(&job), 0u);
    EXPECT_EQ(ReadFile(dir / "x.htm"), kDoc);
}

}  // namespace
}  // namespace quarvel
