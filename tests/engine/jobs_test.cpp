// File jobs, folder jobs and the folder walk.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

#include "engine/jobs.h"
#include "job_test.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {

using platform::Picture;

namespace {

using test::DefaultSettings;
using test::ReadFile;
using test::RecordingProgress;
using test::Sjis;
using test::Succeeded;
using test::TempDir;
using test::WriteFile;

// The oldest copy keeps the document's name; a later text that a conversion replaces
// is kept beside it (NAME.1, ...), unless a copy holds it already.
TEST_F(JobTest, FileJobKeepsTheOldestBackupAndEveryLaterText) {
    std::filesystem::create_directory(dir / "backup");
    WriteFile(dir / "backup/t.htm", "oldest");
    WriteFile(dir / "t.htm", kDoc);
    WriteFile(dir / "u.htm", kDoc);
    std::filesystem::last_write_time(dir / "u.htm", std::filesystem::file_time_type{});
    WriteFile(dir / "backup/v.htm", kDoc);
    WriteFile(dir / "v.htm", kDoc);

    for (const char* name : {"t.htm", "u.htm", "v.htm"}) {
        ConversionJob job;
        job.path = Path(name);
        job.settings = settings;
        std::thread worker = StartFileJob(job);
        worker.join();
        EXPECT_TRUE(Succeeded(job.result)) << name;
    }
    EXPECT_EQ(progress.endJobs, 3);
    EXPECT_EQ(ReadFile(dir / "backup/t.htm"), "oldest");
    EXPECT_EQ(ReadFile(dir / "backup/t.htm.1"), kDoc);
    EXPECT_FALSE(std::filesystem::exists(dir / "backup/v.htm.1"));
    EXPECT_EQ(ReadFile(dir / "t.htm"), ConvertedDoc("t"));
    EXPECT_EQ(ReadFile(dir / "backup/u.htm"), kDoc);
    EXPECT_EQ(std::filesystem::last_write_time(dir / "backup/u.htm"), std::filesystem::file_time_type{});
}

// The owner of a tree that root converts exchanges a folder for a link to a folder
// they cannot write, during the run: nothing is written there, and the walk does not
// enter it.
TEST_F(JobTest, AFolderExchangedForALinkMeanwhileIsNeverWrittenThrough) {
    const std::filesystem::path victim = dir / "victim";
    std::filesystem::create_directories(victim / "d");
    WriteFile(victim / "d.htm", "<dd>victim's art\r\n");
    WriteFile(victim / "d" / "002.png", "victim's");
    const std::vector<std::string> victimBefore = test::TreeOf(victim);
    auto exchange = [&](const std::filesystem::path& folder) {
        std::filesystem::remove_all(dir / "link");
        std::filesystem::create_directory_symlink(victim, dir / "link");
        ASSERT_EQ(::renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, (dir / "link").c_str(), RENAME_EXCHANGE), 0);
    };
    const std::filesystem::path tree = dir / "tree";
    struct Case {
        const char* name;
        std::function<void()> arm;  // sets the hook that exchanges the folder
        bool converted;             // the document, in the folder now at `link`
    };
    const Case cases[] = {
        {"while the pictures are written",
         [&] {
             hooked.beforeWrite = [&](const std::string& path) {
                 if (path.ends_with("/sub/d/002.png")) exchange(tree / "sub");
             };
         },
         true},
        {"before the walk enters it",
         [&] {
             hooked.beforeWrite = [](const std::string&) {};
             hooked.beforeHold = [&, done = false](const std::string& folder) mutable {
                 if (!done && folder.ends_with("/sub")) {
                     exchange(tree / "sub");
                     done = true;
                 }
             };
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(tree);
        std::filesystem::create_directories(tree / "sub");
        WriteFile(tree / "sub" / "d.htm", "<dd>a\r\n<dd>b\r\n<dd>c\r\n");
        c.arm();
        RunFolder(tree.string());
        EXPECT_EQ(test::TreeOf(victim), victimBefore);
        EXPECT_EQ(ReadFile(victim / "d" / "002.png"), "victim's");
        EXPECT_EQ(ReadFile(victim / "d.htm"), "<dd>victim's art\r\n");
        const std::string doc = ReadFile(dir / "link" / "d.htm");
        EXPECT_EQ(doc.find("<img") != std::string::npos, c.converted) << doc;
        if (c.converted) {
            EXPECT_EQ(test::TreeOf(dir / "link" / "d").size(), 3u);
        }
        std::filesystem::remove(tree / "sub");
    }
    EXPECT_NE(progress.messages.back().find("a symbolic link is not written to"), std::string::npos)
        << progress.messages.back();
}

// The documents of a batch wait on one flush of their files: when it fails, each of
// them is left as it was, with its message, and nothing made for them stays.
TEST_F(JobTest, AFlushThatFailsLeavesEveryDocumentOfItsBatchAsItWas) {
    for (const char* name : {"a.htm", "b.htm", "sub/c.htm"}) {
        std::filesystem::create_directories((dir / name).parent_path());
        WriteFile(dir / name, kDoc);
    }
    hooked.failFlush = [](const std::string&) { return EIO; };
    JobResult result = RunFolder(dir.path().string());
    EXPECT_TRUE(result.AnyFailure());
    EXPECT_EQ(test::TreeOf(dir.path()),
              (std::vector<std::string>{"a.htm", "b.htm", "backup/", "sub/", "sub/backup/", "sub/c.htm"}));
    EXPECT_EQ(progress.messages,
              (std::vector<std::string>{Path("sub/c.htm") + "\ncould not write the file\nInput/output error",
                                        Path("a.htm") + "\ncould not write the file\nInput/output error",
                                        Path("b.htm") + "\ncould not write the file\nInput/output error"}));
    for (const char* name : {"a.htm", "b.htm", "sub/c.htm"}) EXPECT_EQ(ReadFile(dir / name), kDoc) << name;
}

TEST_F(JobTest, FolderWalkOrder) {
    for (const char* folder : {"top", "top/b", "top/a", "top/a/deep", "top/old.htm", "top/backup"})
        std::filesystem::create_directory(dir / folder);
    for (const char* doc : {"top/y.htm", "top/x.HTML", "top/b/b.htm", "top/a/a.htm", "top/a/deep/d.htm",
                            "top/backup/kept.htm", "top/note.txt"})
        WriteFile(dir / doc, kDoc);
    std::filesystem::create_directory_symlink(dir / "top/a", dir / "top/link");

    JobResult result = RunFolder(Path("top") + "/");
    EXPECT_TRUE(Succeeded(result));
    // Each document's copy is written just before its first change, then its image
    // folder is made, its pictures written and its new text; then all of them are
    // flushed together, a note lists each document's pictures before they and the copy
    // take their names, the record of each conversion is written beside its copy, the
    // names and the records are flushed, and only then are the documents replaced, each
    // note going with its document.
    const char* documents[] = {"top/a/deep/d.htm", "top/a/a.htm", "top/b/b.htm", "top/x.HTML", "top/y.htm"};
    std::vector<std::string> expected, copies, replaced;
    for (const char* step : documents) {
        const std::string document = Path(step);
        const std::string folder = document.substr(0, document.rfind('/'));
        const std::string copy = folder + "/backup/" + document.substr(folder.size() + 1);
        for (std::string change : {"mkdir " + folder + "/backup", "keep " + copy,
                                   "mkdir " + document.substr(0, document.rfind('.')), "write " + document})
            expected.push_back(change);
        const std::string note = document.substr(0, document.rfind('.')) + "/.quarvel.naming";
        copies.insert(copies.end(), {"write " + note, "place " + copy, "write " + copy + ".record"});
        replaced.insert(replaced.end(), {"place " + document, "remove " + note});
    }
    expected.push_back("flush " + Path("top/a/deep/backup"));
    expected.insert(expected.end(), copies.begin(), copies.end());
    // The names flushed with the records' bytes.
    expected.push_back("flush " + Path("top/a/deep/backup"));
    expected.insert(expected.end(), replaced.begin(), replaced.end());
    EXPECT_EQ(hooked.Changes(), expected);
    EXPECT_EQ(progress.texts[0], "deep/d.htm");
    EXPECT_EQ(ReadFile(dir / "top/backup/kept.htm"), kDoc);             // backups are never converted
    EXPECT_FALSE(std::filesystem::exists(dir / "top/old.htm/backup"));  // nothing changed there
    EXPECT_EQ(result.documents.size(), 5u);
    EXPECT_EQ(progress.endJobs, 1);

    // A second run changes nothing, so it makes nothing: no backups nested in the
    // backup folders or the image folders.
    hooked.log.clear();
    const std::vector<std::string> tree = test::TreeOf(dir.path());
    result = RunFolder(Path("top"));
    EXPECT_TRUE(Succeeded(result));
    EXPECT_TRUE(hooked.log.empty());
    EXPECT_EQ(test::TreeOf(dir.path()), tree);
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

TEST_F(JobTest, AbortDuringABackupCopyConvertsNothing) {
    WriteFile(dir / "x.htm", kDoc);
    WriteFile(dir / "y.htm", kDoc);
    hooked.beforeWrite = [this](const std::string& path) {
        if (path.find("/backup/") != std::string::npos) progress.abortRequested = true;
    };
    JobResult result = RunFolder(dir.path().string());
    EXPECT_TRUE(result.aborted);
    EXPECT_FALSE(Succeeded(result));
    EXPECT_EQ(ReadFile(dir / "x.htm"), kDoc);
    EXPECT_EQ(ReadFile(dir / "y.htm"), kDoc);
    // The copy was written, but a document that is not rewritten gets none.
    EXPECT_FALSE(std::filesystem::exists(dir / "backup/x.htm"));
    EXPECT_FALSE(std::filesystem::exists(dir / "x"));
    EXPECT_EQ(progress.endJobs, 1);
}

TEST_F(JobTest, FolderThatIsNotThere) {
    JobResult result = RunFolder("");
    ASSERT_EQ(progress.messages.size(), 1u);
    EXPECT_EQ(progress.messages[0], "name a folder");
    EXPECT_FALSE(Succeeded(result));

    result = RunFolder(Path("missing"));
    EXPECT_EQ(progress.messages.back(), Path("missing") + "\nfolder not found");
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
    EXPECT_EQ(progress.messages[0], "name a file");
    EXPECT_TRUE(job.result.documents.empty());
    EXPECT_FALSE(Succeeded(job.result));
    EXPECT_EQ(mkdirs, 0);
    EXPECT_EQ(progress.endJobs, 1);
}

TEST_F(JobTest, FailedDocumentDoesNotStopTheWalk) {
    WriteFile(dir / "a.htm", kDoc);
    WriteFile(dir / "b.htm", kDoc);
    hooked.failWrite = [](const std::string& path) { return path.ends_with("/a.htm") ? EIO : 0; };
    JobResult result = RunFolder(dir.path().string(), SubFolders::yes, Backup::no);
    ASSERT_EQ(progress.messages.size(), 1u);
    EXPECT_EQ(progress.messages[0], Path("a.htm") + "\ncould not write the file\nInput/output error");
    EXPECT_EQ(ReadFile(dir / "a.htm"), kDoc);
    EXPECT_EQ(ReadFile(dir / "b.htm"), ConvertedDoc("b"));
    ASSERT_EQ(result.documents.size(), 2u);
    EXPECT_EQ(result.documents[0].outcome, Outcome::failed);
    EXPECT_EQ(result.documents[1].outcome, Outcome::converted);
    EXPECT_TRUE(result.AnyFailure());
}

}  // namespace
}  // namespace quarvel::engine
