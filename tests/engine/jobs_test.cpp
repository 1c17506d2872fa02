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

constexpr const char* kDoc = "<dd>art\r\n";
constexpr const char* kConverted = "<dd><img src=\"./%s/001.png\">\r\n";

void ExpectPictureIsPng(const std::filesystem::path& path) {
    Picture picture;
    EXPECT_TRUE(test::DecodePng(path, picture)) << path;
}

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
        job.fileFilter = pattern;
        job.subFolders = sub;
        job.backup = backup;
        job.settings = settings;
        std::thread worker = StartFolderJob(job);
        worker.join();
        EXPECT_FALSE(progress.running);
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
