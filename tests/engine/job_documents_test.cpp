// What a job does with each file it meets: backups or nothing, what is never a document,
// documents named through links, folders it cannot read, failures that end one document.

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

// Folders for the cases of a table test: dir/<case>/a.htm with one stretch.
void MakeCaseFolders(const TempDir& dir, const std::vector<std::string>& cases) {
    for (const std::string& name : cases) {
        std::filesystem::create_directory(dir / name);
        WriteFile(dir / name / "a.htm", kDoc);
    }
}

TEST_F(JobTest, BackupOrNothing) {
    // With the backup switch on, a document whose untouched copy cannot be put safely
    // in backup/ is left as it is, with a message naming the path and what failed;
    // the job goes on. So is one whose image folder is a symbolic link.
    struct Case {
        std::string name;
        std::function<void(const std::filesystem::path& folder)> arrange;
        std::string where;   // relative to the case's folder
        std::string reason;  // UTF-8
    };
    const std::vector<Case> cases = {
        {"backup-is-a-file", [](const auto& f) { WriteFile(f / "backup", "x"); }, "backup",
         "could not make the folder\nFile exists"},
        {"backup-is-a-link",
         [&](const auto& f) {
             std::filesystem::create_directory(dir / "elsewhere");
             std::filesystem::create_directory_symlink(dir / "elsewhere", f / "backup");
         },
         "backup", "a symbolic link is not written to"},
        {"copy-fails", [](const auto&) {}, "backup/a.htm", "could not write the file\nFile too large"},
        {"images-are-a-link",
         [&](const auto& f) {
             std::filesystem::create_directory(dir / "pictures");
             std::filesystem::create_directory_symlink(dir / "pictures", f / "a");
         },
         "a", "a symbolic link is not written to"},
    };
    std::vector<std::string> names;
    for (const Case& c : cases) names.push_back(c.name);
    MakeCaseFolders(dir, names);
    WriteFile(dir / "z.htm", kDoc);
    for (const Case& c : cases) c.arrange(dir / c.name);
    // A link where the copy would go is not this run's: the copy takes the next name.
    MakeCaseFolders(dir, {"copy-is-a-link"});
    std::filesystem::create_directory(dir / "copy-is-a-link/backup");
    WriteFile(dir / "victim", "victim");
    std::filesystem::create_symlink(dir / "victim", dir / "copy-is-a-link/backup/a.htm");
    hooked.failWrite = [](const std::string& path) { return path.ends_with("copy-fails/backup/a.htm") ? EFBIG : 0; };

    JobResult result = RunFolder(dir.path().string());
    ASSERT_EQ(progress.messages.size(), cases.size());
    for (std::size_t k = 0; k < cases.size(); ++k) {
        EXPECT_EQ(progress.messages[k], Path(cases[k].name + "/" + cases[k].where) + "\n" + Sjis(cases[k].reason))
            << cases[k].name;
        EXPECT_EQ(ReadFile(dir / cases[k].name / "a.htm"), kDoc) << cases[k].name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "pictures"));
    EXPECT_EQ(ReadFile(dir / "victim"), "victim");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "copy-is-a-link/backup/a.htm"));
    EXPECT_EQ(ReadFile(dir / "copy-is-a-link/backup/a.htm.1"), kDoc);
    EXPECT_EQ(ReadFile(dir / "copy-is-a-link/a.htm"), ConvertedDoc("a"));
    EXPECT_FALSE(std::filesystem::exists(dir / "copy-fails/a"));  // no change: no image folder
    EXPECT_EQ(ReadFile(dir / "z.htm"), ConvertedDoc("z"));        // the job went on
    EXPECT_TRUE(result.AnyFailure());
}

TEST_F(JobTest, NothingIsMadeUnlessADocumentChanges) {
    // Documents that cannot be read, or that a conversion does not change, leave no
    // image folder and no backup folder behind.
    MakeCaseFolders(dir, {"converted", "plain", "unreadable"});
    WriteFile(dir / "converted/a.htm", ConvertedDoc("a"));
    WriteFile(dir / "plain/a.htm", "<dt>no stretch\r\n");
    std::filesystem::remove(dir / "unreadable/a.htm");
    std::filesystem::create_directory(dir / "unreadable/a.htm");  // a folder by the document's name
    const std::vector<std::string> tree = test::TreeOf(dir.path());

    for (auto [path, fails] : {std::pair{"converted/a.htm", false},
                               {"plain/a.htm", false},
                               {"unreadable/a.htm", true},
                               {"missing/a.htm", true}}) {
        ConversionJob job;
        job.path = Path(path);
        job.settings = settings;
        StartFileJob(job).join();
        EXPECT_EQ(job.result.AnyFailure(), fails) << path;
    }
    EXPECT_EQ(progress.messages, (std::vector<std::string>{
                                     Path("unreadable/a.htm") + "\ncould not open the file\nIs a directory",
                                     Path("missing/a.htm") + "\ncould not open the file\nNo such file or directory"}));
    EXPECT_EQ(test::TreeOf(dir.path()), tree);
    EXPECT_TRUE(hooked.log.empty());
}

TEST_F(JobTest, WhatIsNeverADocumentOfTheWalk) {
    // "*" takes every name: the program's own pictures, the temporary files of
    // rewrites (here another document's) and what editors leave beside a document are
    // still never converted. PNG signatures hold CR LF, the default end separator.
    std::filesystem::create_directory(dir / "tree");
    std::filesystem::create_directory(dir / "outside");
    const std::string picture = "\x89PNG\r\n\x1A\n<dd>not art\r\n";
    struct Entry {
        const char* name;
        std::string bytes;
        const char* message = nullptr;  // the reason it is left as it is, with a message
    };
    const Entry entries[] = {
        {"t.htm", kDoc},
        {".u.htm.quarvel-AbCdEfGh12345678", kDoc},
        {"note.png", picture},
        {"t.htm~", kDoc},
        {".#t.htm", kDoc},
        {"#t.htm#", kDoc},
        // Documents with the image folder of one before them in the run.
        {"t.htm_old", kDoc, "not converted: its image folder is that of this document\n{tree}/t.htm"},
        {"x.htm", kDoc},
        {"x.html", kDoc, "not converted: its image folder is that of this document\n{tree}/x.htm"},
        // A link may lead out of the tree: never followed.
        {"link.htm", "", "a document that is a symbolic link is not converted"},
    };
    WriteFile(dir / "outside/real.htm", kDoc);
    for (const Entry& entry : entries) {
        if (std::string_view(entry.name) == "link.htm")
            std::filesystem::create_symlink("../outside/real.htm", dir / "tree/link.htm");
        else
            WriteFile(dir / "tree" / entry.name, entry.bytes);
    }
    const std::string tree = (dir / "tree").string();
    for (int run = 0; run < 2; ++run) {
        progress.messages.clear();
        JobResult result = RunFolder(tree, SubFolders::yes, Backup::yes, "*");
        std::vector<std::string> expected;  // in the walk's byte order of names
        for (const Entry& entry : entries) {
            if (!entry.message) continue;
            std::string message = Sjis(entry.message);
            if (const auto at = message.find("{tree}"); at != std::string::npos) message.replace(at, 6, tree);
            expected.push_back(tree + "/" + entry.name + "\n" + message);
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(progress.messages, expected) << run;
        EXPECT_TRUE(result.AnyFailure());
    }
    for (const Entry& entry : entries) {
        const std::string name = entry.name;
        if (name == "t.htm" || name == "x.htm") {
            EXPECT_EQ(ReadFile(dir / "tree" / name), ConvertedDoc(name.substr(0, 1)));
        } else if (name != "link.htm") {
            EXPECT_EQ(ReadFile(dir / "tree" / name), entry.bytes) << name;
        }
    }
    EXPECT_EQ(test::TreeOf(dir / "outside"), std::vector<std::string>{"real.htm"});
    EXPECT_EQ(ReadFile(dir / "outside/real.htm"), kDoc);
    EXPECT_EQ(test::TreeOf(dir / "tree/backup"),
              (std::vector<std::string>{"t.htm", "t.htm.record", "x.htm", "x.htm.record"}));
    EXPECT_EQ(test::TreeOf(dir / "tree/t"), std::vector<std::string>{"001.png"});
    ExpectPictureIsPng(dir / "tree/t/001.png");
}

TEST_F(JobTest, ADocumentNamedThroughALinkIsConvertedWhereItLives) {
    std::filesystem::create_directory(dir / "logs");
    WriteFile(dir / "logs/thread.html", kDoc);
    std::filesystem::create_symlink("logs/thread.html", dir / "latest.htm");
    ConversionJob job;
    job.path = Path("latest.htm");
    job.settings = settings;
    StartFileJob(job).join();
    EXPECT_TRUE(Succeeded(job.result));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "latest.htm"));
    EXPECT_EQ(ReadFile(dir / "logs/thread.html"), ConvertedDoc("thread"));
    EXPECT_EQ(test::TreeOf(dir.path()),
              (std::vector<std::string>{"latest.htm", "logs/", "logs/backup/", "logs/backup/thread.html",
                                        "logs/backup/thread.html.record", "logs/thread.html", "logs/thread/",
                                        "logs/thread/001.png"}));
}

TEST_F(JobTest, UnreadableFoldersAreReported) {
    // Everything in a folder that cannot be read stays unconverted: the folder is
    // reported like a document that failed, and the walk goes on.
    MakeCaseFolders(dir, {"locked", "open"});
    hooked.failList = [](const std::string& folder) { return folder.ends_with("/locked") ? EACCES : 0; };
    JobResult result = RunFolder(dir.path().string(), SubFolders::yes, Backup::no);
    EXPECT_EQ(progress.messages,
              std::vector<std::string>{Path("locked") + "\ncould not read the folder" + "\nPermission denied"});
    EXPECT_EQ(ReadFile(dir / "open/a.htm"), ConvertedDoc("a"));
    EXPECT_TRUE(result.AnyFailure());

    // A real tree deeper than a path can name: every document is converted.
    hooked.failList = [](const std::string&) { return 0; };
    progress.messages.clear();
    const std::string name(60, 'd');
    int at = ::open(Path("open").c_str(), O_DIRECTORY | O_CLOEXEC);
    constexpr int kDepth = 80;
    for (int level = 0; level < kDepth; ++level) {
        ASSERT_EQ(::mkdirat(at, name.c_str(), 0777), 0);
        const int next = ::openat(at, name.c_str(), O_DIRECTORY | O_CLOEXEC);
        ::close(at);
        at = next;
        const int doc = ::openat(at, "a.htm", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_EQ(::write(doc, kDoc, std::strlen(kDoc)), static_cast<ssize_t>(std::strlen(kDoc)));
        ::close(doc);
    }
    ::close(at);
    // The walk works in the folders it holds open, whatever the length of their paths.
    result = RunFolder(Path("open"), SubFolders::yes, Backup::no);
    std::size_t converted = 0;
    for (const DocumentResult& document : result.documents) converted += document.outcome == Outcome::converted;
    EXPECT_EQ(converted, static_cast<std::size_t>(kDepth) + 1);
    EXPECT_EQ(progress.messages, std::vector<std::string>{});
    EXPECT_TRUE(Succeeded(result));
    test::RunProcess({"/bin/rm", "-rf", Path("open")});  // beyond what std::filesystem can remove
}

TEST_F(JobTest, SomethingThrownEndsTheDocumentWithAMessage) {
    // Out of memory (or anything else thrown) in the middle of a document: a message,
    // the document as it was, no temporary file; the job goes on and ends normally.
    struct Case {
        const char* name;
        std::function<void()> thrower;
        const char* reason;
    };
    const Case cases[] = {
        {"memory", [] { throw std::bad_alloc(); }, "out of memory"},
        {"other", [] { throw std::runtime_error("disk on fire"); }, "unexpected error\ndisk on fire"},
    };
    for (const Case& c : cases) {
        TempDir folder;
        WriteFile(folder / "a.htm", kDoc);
        WriteFile(folder / "b.htm", kDoc);
        progress.messages.clear();
        hooked.beforeWrite = [&](const std::string& path) {
            if (path.ends_with("/a/001.png")) c.thrower();
        };
        JobResult result = RunFolder(folder.path().string());
        ASSERT_EQ(progress.messages.size(), 1u) << c.name;
        EXPECT_EQ(progress.messages[0], (folder / "a.htm").string() + "\n" + Sjis(c.reason)) << c.name;
        EXPECT_EQ(ReadFile(folder / "a.htm"), kDoc) << c.name;
        EXPECT_EQ(ReadFile(folder / "b.htm"), ConvertedDoc("b")) << c.name;
        EXPECT_EQ(test::TreeOf(folder.path()), (std::vector<std::string>{"a.htm", "b.htm", "b/", "b/001.png", "backup/",
                                                                         "backup/b.htm", "backup/b.htm.record"}))
            << c.name;
        EXPECT_TRUE(result.AnyFailure());
    }

    // Thrown outside any document: the job's own message, and the job still ends.
    hooked.beforeWrite = [](const std::string&) {};
    hooked.failList = [](const std::string&) -> int { throw std::bad_alloc(); };
    progress.messages.clear();
    JobResult result = RunFolder(dir.path().string());
    EXPECT_EQ(progress.messages, std::vector<std::string>{"out of memory"});
    EXPECT_TRUE(result.AnyFailure());
    EXPECT_EQ(progress.endJobs, 3);
}

TEST_F(JobTest, NoProgressMeansNoJob) {
    // Nobody to tell and nobody to stop it: the document is left as it was, and the job
    // records nothing done.
    ConversionJob job;
    job.path = Path("x.htm");
    WriteFile(dir / "x.htm", kDoc);
    FileJobThreadProc(&job);
    EXPECT_EQ(ReadFile(dir / "x.htm"), kDoc);
    EXPECT_TRUE(job.result.documents.empty());
    EXPECT_TRUE(job.result.messages.empty());
    EXPECT_EQ(test::TreeOf(dir.path()), std::vector<std::string>{"x.htm"});
}

}  // namespace
}  // namespace quarvel::engine
