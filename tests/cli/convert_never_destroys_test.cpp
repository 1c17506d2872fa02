// What convert and convert-folder never destroy: interrupted, killed, at a file-size limit,
// out of memory, over planted links, several at once on one tree, and restore after them.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "cli_process.h"
#include "engine/conversion.h"
#include "engine/image_tags.h"
#include "engine/messages.h"
#include "render/renderer.h"
#include "support/test_support.h"

extern char** environ;

namespace quarvel {

using engine::NativeToCp932;
using engine::PictureNumber;

using render::Appearance;
using render::RenderPicture;

using platform::Color;
using platform::Picture;

namespace {

using test::Cli;
using test::CliUnder;

using test::ReadFile;
using test::RunProcess;
using test::TempDir;
using test::WriteFile;

TEST(ConvertCli, InterruptLeavesTheDocumentAsItWas) {
    TempDir dir;
    std::string document;
    for (int i = 0; i < 20000; ++i) document += "<dd>art " + std::to_string(i) + "\r\n";
    WriteFile(dir / "long.htm", document);

    const std::string path = (dir / "long.htm").string();
    std::vector<const char*> argv = {QUARVEL_CLI_PATH, "convert", "--no-backup", path.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, QUARVEL_CLI_PATH, nullptr, nullptr, const_cast<char**>(argv.data()), environ), 0);
    // Interrupt once the job is under way.
    int status = 0;
    ASSERT_TRUE(test::WaitWhileRunning(
        pid, [&] { return std::filesystem::exists(dir / "long/002.png"); }, status, "the second picture"))
        << "quarvel-cli ended before its second picture";
    ::kill(pid, SIGINT);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_TRUE(ReadFile(dir / "long.htm") == document);
}

TEST(ConvertCli, InterruptBetweenDocumentsStopsTheRest) {
    // Ctrl+C while the first document is being written back: that document may
    // still be finished, but no further document is started.
    TempDir dir;
    WriteFile(dir / "a.htm", std::string(64 << 20, 'a') + "<dd>x");
    WriteFile(dir / "b.htm", "<dd>y");
    const std::string a = (dir / "a.htm").string(), b = (dir / "b.htm").string();
    std::vector<const char*> argv = {QUARVEL_CLI_PATH, "convert", "--no-backup", a.c_str(), b.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, QUARVEL_CLI_PATH, nullptr, nullptr, const_cast<char**>(argv.data()), environ), 0);
    // The rewrite goes through a new file beside the document; wait for it.
    int status = 0;
    const bool caught = test::WaitWhileRunning(
        pid, [&] { return test::WritesANewFileIn(pid, dir.path()); }, status, "the rewrite of a.htm");
    if (caught) {
        ::kill(pid, SIGINT);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    }
    ASSERT_TRUE(caught) << "the rewrite of a.htm was never seen";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(ReadFile(dir / "b.htm"), "<dd>y");
    EXPECT_FALSE(std::filesystem::exists(dir / "b"));
}

// A saved thread of about `megabytes` MB with one stretch at its end.
std::string LargeThread(int megabytes) {
    std::string line = "<dt>name<br>" + std::string(80, 'x') + "<br>\r\n";
    std::string text;
    while (text.size() < static_cast<std::size_t>(megabytes) << 20) text += line;
    return text + "<dd>art\r\n";
}

bool AnyTemporaryFile(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.path().filename().string().find(".quarvel-") != std::string::npos) return true;
    return false;
}

TEST(ConvertCli, AFolderGivenToConvertIsBadUsage) {
    TempDir dir;
    std::filesystem::create_directory(dir / "logs");
    WriteFile(dir / "logs/a.htm", "<dd>x\r\n");
    WriteFile(dir / "b.htm", "<dd>x\r\n");
    const std::vector<std::string> tree = test::TreeOf(dir.path());
    auto r = Cli({"convert", (dir / "b.htm").string(), (dir / "logs").string()});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("is a folder"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("convert-folder " + (dir / "logs").string()), std::string::npos) << r.err;
    EXPECT_EQ(test::TreeOf(dir.path()), tree);  // not even b.htm, given first

    // A document that is not there: one message with the reason, nothing made.
    r = Cli({"convert", (dir / "none.htm").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err,
              "quarvel-cli: " + (dir / "none.htm").string() + ": could not open the file: No such file or directory\n");
    EXPECT_EQ(test::TreeOf(dir.path()), tree);
}

TEST(ConvertCli, FileSizeLimitDuringTheBackupCopy) {
    // The copy fails past the limit: the document stays as it was, no partial copy
    // is left to pass for the untouched one later, and a run without the limit
    // then makes the whole copy, with the document's mode and time.
    TempDir dir;
    const std::string document = LargeThread(3);
    WriteFile(dir / "doc.htm", document);
    ::chmod((dir / "doc.htm").c_str(), 0640);
    struct timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ::utimensat(AT_FDCWD, (dir / "doc.htm").c_str(), times, 0);

    auto r = CliUnder("ulimit -f 1024", {"convert", (dir / "doc.htm").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err,
              "quarvel-cli: " + (dir / "backup/doc.htm").string() + ": could not write the file: File too large\n");
    EXPECT_TRUE(ReadFile(dir / "doc.htm") == document);
    EXPECT_EQ(test::TreeOf(dir.path()), (std::vector<std::string>{"backup/", "doc.htm"}));

    r = Cli({"convert", (dir / "doc.htm").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(ReadFile(dir / "backup/doc.htm") == document);
    struct stat st;
    ASSERT_EQ(::stat((dir / "backup/doc.htm").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
    EXPECT_NE(ReadFile(dir / "doc.htm").find("<img src=\"./doc/001.png\">"), std::string::npos);
}

TEST(ConvertCli, KilledDuringTheBackupCopy) {
    // kill -9 while the copy is written: no copy at all rather than a partial one,
    // and the next run removes what the killed one left and makes the whole copy.
    TempDir dir;
    const std::string document = LargeThread(48);
    WriteFile(dir / "doc.htm", document);
    const std::string path = (dir / "doc.htm").string();
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        std::filesystem::remove_all(dir / "backup");
        std::vector<const char*> argv = {QUARVEL_CLI_PATH, "convert", path.c_str(), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, QUARVEL_CLI_PATH, nullptr, nullptr, const_cast<char**>(argv.data()), environ), 0);
        int status = 0;
        caught = test::WaitWhileRunning(
            pid, [&] { return test::WritesANewFileIn(pid, dir / "backup"); }, status, "the backup copy");
        if (caught) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        if (ReadFile(dir / "doc.htm") != document) WriteFile(dir / "doc.htm", document);
    }
    ASSERT_TRUE(caught) << "the backup copy was never seen being written";
    EXPECT_FALSE(std::filesystem::exists(dir / "backup/doc.htm"));
    EXPECT_TRUE(ReadFile(dir / "doc.htm") == document);

    auto r = Cli({"convert", path});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(ReadFile(dir / "backup/doc.htm") == document);
    EXPECT_FALSE(AnyTemporaryFile(dir.path()));
}

TEST(ConvertCli, PlantedLinksAreNotFollowed) {
    TempDir dir;
    for (const char* folder : {"logs", "logs/thread"}) std::filesystem::create_directory(dir / folder);
    WriteFile(dir / "logs/thread.htm", "<dd>art\r\n");
    WriteFile(dir / "victim", "victim");
    std::filesystem::create_symlink(dir / "victim", dir / "logs/thread/001.png");
    auto r = Cli({"convert-folder", (dir / "logs").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    // The link is not this run's: it stays, and the picture takes the next number.
    EXPECT_EQ(ReadFile(dir / "victim"), "victim");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "logs/thread/001.png"));
    EXPECT_EQ(ReadFile(dir / "logs/thread.htm"), "<dd><img src=\"./thread/002.png\">\r\n");
    Picture picture;
    EXPECT_TRUE(test::DecodePng(dir / "logs/thread/002.png", picture));
}

TEST(ConvertCli, PathsLeadWhereTheSystemLeadsAndNoTwoDocumentsShareAnImageFolder) {
    // work/latest is a link to runs/deep: work/latest/../other is runs/other for the
    // system, not work/other as a tidy-up of the text would make it.
    TempDir dir;
    for (const char* folder : {"work", "work/other", "runs", "runs/deep", "runs/other"})
        std::filesystem::create_directory(dir / folder);
    std::filesystem::create_directory_symlink("../runs/deep", dir / "work/latest");
    WriteFile(dir / "work/other/a.htm", "<dd>art\r\n");
    WriteFile(dir / "runs/other/a.htm", "<dd>art\r\n");
    auto r = Cli({"convert-folder", "--no-backup", (dir / "work/latest/../other").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "runs/other/a.htm"), "<dd><img src=\"./a/001.png\">\r\n");
    EXPECT_EQ(ReadFile(dir / "work/other/a.htm"), "<dd>art\r\n");

    // The documents of one command line are one run: the second with the image folder
    // of the first is left as it is, with a message that names both.
    WriteFile(dir / "x.htm", "<dd>one\r\n");
    WriteFile(dir / "x.html", "<dd>two\r\n");
    r = Cli({"convert", "--no-backup", (dir / "x.htm").string(), (dir / "./x.html").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "quarvel-cli: " + (dir / "x.html").string() +
                         ": not converted: its image folder is that of this document: " + (dir / "x.htm").string() +
                         "\n");
    EXPECT_EQ(ReadFile(dir / "x.htm"), "<dd><img src=\"./x/001.png\">\r\n");
    EXPECT_EQ(ReadFile(dir / "x.html"), "<dd>two\r\n");
    EXPECT_EQ(test::TreeOf(dir / "x"), std::vector<std::string>{"001.png"});
}

TEST(ConvertCli, PatternStarTwiceLeavesPicturesAlone) {
    TempDir dir;
    std::filesystem::create_directory(dir / "logs");
    WriteFile(dir / "logs/thread.htm", "<dt>1<dd>AA\r\n<dt>2<dd>BB\r\n");
    for (int run = 0; run < 2; ++run) {
        auto r = Cli({"convert-folder", "--pattern", "*", (dir / "logs").string()});
        EXPECT_EQ(r.exit_code, 0) << run << ": " << r.err;
    }
    EXPECT_EQ(test::TreeOf(dir / "logs"),
              (std::vector<std::string>{"backup/", "backup/thread.htm", "backup/thread.htm.record", "thread.htm",
                                        "thread/", "thread/001.png", "thread/002.png"}));
    for (const char* png : {"logs/thread/001.png", "logs/thread/002.png"}) {
        Picture picture;
        EXPECT_TRUE(test::DecodePng(dir / png, picture)) << png;
    }
}

// Every file of a tree, with its bytes: "a/" for a folder.
std::map<std::string, std::string> FilesOf(const std::filesystem::path& root) {
    std::map<std::string, std::string> files;
    for (const std::string& entry : test::TreeOf(root))
        files[entry] = entry.ends_with('/') ? std::string() : ReadFile(root / entry);
    return files;
}

// Runs at once on one tree, long enough to overlap: every document ends as it was or
// converted with all its pictures, each its own art (the files of one run alone), and
// no file that the runs did not make is changed or removed.
TEST(ConvertCli, RunsAtOnceOnOneTreeDestroyNothing) {
    TempDir dir;
    const std::filesystem::path original = dir / "original";
    for (int f = 0; f < 3; ++f) {
        const std::filesystem::path folder = original / ("f" + std::to_string(f));
        std::filesystem::create_directories(folder / "d0");
        WriteFile(folder / "d0" / "001.png", "a picture of the user's own");
        for (int d = 0; d < 3; ++d) {
            std::string doc;
            for (int s = 0; s < 120; ++s)
                doc += "<dt>" + std::to_string(s) + "<dd>art " + std::to_string(f * 1000 + d * 100 + s) + "<br>x\r\n";
            WriteFile(folder / ("d" + std::to_string(d) + ".htm"), doc);
        }
    }
    WriteFile(original / "one.htm", [] {
        std::string doc;
        for (int s = 0; s < 600; ++s)
            doc += "<dd>art " + std::to_string(s) + "<br>x\r\n<p>" + std::string(500, 'f') + "</p>\r\n";
        return doc;
    }());
    const std::filesystem::path alone = dir / "alone";
    std::filesystem::copy(original, alone, std::filesystem::copy_options::recursive);
    ASSERT_EQ(Cli({"convert-folder", "--jobs=1", alone.string()}).exit_code, 0);
    const auto expected = FilesOf(alone);

    for (const auto& [runs, arguments] : {std::pair{2, std::vector<std::string>{"convert-folder"}},
                                          std::pair{3, std::vector<std::string>{"convert-folder"}},
                                          std::pair{2, std::vector<std::string>{"convert", "--no-backup"}}}) {
        const bool folder = arguments[0] == "convert-folder";
        SCOPED_TRACE(std::to_string(runs) + " runs of " + arguments[0]);
        const std::filesystem::path tree = dir / "tree";
        std::filesystem::remove_all(tree);
        std::filesystem::copy(original, tree, std::filesystem::copy_options::recursive);
        // Each waits for the others' locks as long as they hold them.
        std::vector<std::string> args = arguments;
        args.insert(args.end(), {"--lock-wait", "600"});
        args.push_back(folder ? tree.string() : (tree / "one.htm").string());
        std::vector<std::thread> threads;
        std::vector<test::ProcessResult> results(runs);
        for (auto& result : results) threads.emplace_back([&] { result = Cli(args); });
        for (auto& thread : threads) thread.join();
        for (const auto& r : results) {
            EXPECT_EQ(r.exit_code, 0) << r.err;
            // Nothing said but, after two seconds, that a run waits for another, and a
            // folder's summary.
            std::istringstream lines(r.err);
            int summaries = 0;
            for (std::string line; std::getline(lines, line);) {
                const bool summary = folder && std::regex_match(line, std::regex("quarvel-cli: 10 documents: .*"));
                summaries += summary;
                EXPECT_TRUE(summary || line.find(": waiting for another process") != std::string::npos) << line;
            }
            EXPECT_EQ(summaries, folder ? 1 : 0) << r.err;
        }
        auto files = FilesOf(tree);
        if (!folder) {
            EXPECT_TRUE(files["one.htm"] == expected.at("one.htm"));
            for (const auto& [name, bytes] : expected) {
                if (name.starts_with("one/")) {
                    EXPECT_TRUE(files[name] == bytes) << name;
                }
            }
            continue;
        }
        EXPECT_EQ(files.size(), expected.size());
        // (A record names its pictures by inode and time, its own to each tree.)
        for (const auto& [name, bytes] : expected)
            EXPECT_TRUE(files[name] == bytes || (name.ends_with(".record") && files.contains(name))) << name;
    }
}

// The way back: after a conversion (and a second one of a newer text), restore puts the
// document back byte for byte from its newest copy, removes only the pictures that
// conversion made, keeps the converted text beside the copies, and touches nothing else.
// Killed where a crash costs most: the pictures of the batch have their names, no
// document shows them yet (strace kills the run at its second syncfs, which makes
// those names durable). The next run leaves the tree one run alone makes: no picture of
// the killed run behind, numbers from 001.
TEST(ConvertCli, KilledBetweenThePicturesNamesAndTheDocumentsTheNextRunLeavesNoTrace) {
    if (!std::filesystem::exists("/usr/bin/strace")) GTEST_SKIP() << "strace is not installed";
    const std::string text = "<dd>one\r\n<dd>two\r\n<dd>three\r\n";
    TempDir dir;
    for (const char* tree : {"killed", "alone"}) {
        for (const char* doc : {"a.htm", "sub/b.htm"}) {
            std::filesystem::create_directories((dir / tree / doc).parent_path());
            WriteFile(dir / tree / doc, text);
        }
    }
    const auto killed = test::RunProcess({"/usr/bin/strace", "-f", "-o", "/dev/null", "-e", "trace=syncfs", "-e",
                                          "inject=syncfs:signal=KILL:when=2", QUARVEL_CLI_PATH, "convert-folder", "-q",
                                          (dir / "killed").string()});
    ASSERT_EQ(killed.exit_code, 128 + SIGKILL) << killed.err;
    // (The first document's batch may have ended alone, on a slow machine.)
    const bool leftBehind =
        (ReadFile(dir / "killed/sub/b.htm") == text && std::filesystem::exists(dir / "killed/sub/b/003.png")) ||
        (ReadFile(dir / "killed/a.htm") == text && std::filesystem::exists(dir / "killed/a/003.png"));
    EXPECT_TRUE(leftBehind) << "no picture named that no document shows";

    EXPECT_EQ(Cli({"convert-folder", "-q", (dir / "killed").string()}).exit_code, 0);
    EXPECT_EQ(Cli({"convert-folder", "-q", (dir / "alone").string()}).exit_code, 0);
    EXPECT_EQ(test::TreeOf(dir / "killed"), test::TreeOf(dir / "alone"));
    for (const char* file : {"a.htm", "sub/b.htm", "a/001.png", "a/003.png", "backup/a.htm"})
        EXPECT_EQ(ReadFile(dir / "killed" / file), ReadFile(dir / "alone" / file)) << file;
}

TEST(ConvertCli, RestorePutsDocumentsBackAndRemovesOnlyThatConversionsPictures) {
    TempDir dir;
    std::filesystem::create_directories(dir / "tree" / "sub" / "t");
    WriteFile(dir / "tree" / "sub" / "t" / "001.png", "a picture of the user's own");
    const std::string first = "<dd>one\r\n<dd>two\r\n", second = "<dd>three\r\n";
    WriteFile(dir / "tree" / "sub" / "t.htm", first);
    WriteFile(dir / "tree" / "u.htm", first);
    WriteFile(dir / "tree" / "plain.htm", "<p>no art</p>");
    ASSERT_EQ(Cli({"convert-folder", "-q", (dir / "tree").string()}).exit_code, 0);
    const auto converted = FilesOf(dir / "tree");

    // One document changed by hand and converted again: its newest copy is the newer text.
    const std::string t = (dir / "tree" / "sub" / "t.htm").string();
    WriteFile(t, ReadFile(t) + second);
    ASSERT_EQ(Cli({"convert", "-q", t}).exit_code, 0);
    const std::string twice = ReadFile(t);
    auto r = Cli({"restore", t});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, t + ": put back from backup/t.htm.1; 1 picture of the conversion removed; the converted text "
                         "kept as backup/t.htm.converted\n");
    EXPECT_EQ(ReadFile(t), ReadFile(dir / "tree" / "sub" / "backup" / "t.htm.1"));
    EXPECT_EQ(ReadFile(dir / "tree" / "sub" / "backup" / "t.htm.converted"), twice);
    // Once more: one conversion further back, to the first copy; then there is nothing
    // left to put back.
    r = Cli({"restore", t});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("put back from backup/t.htm; 2 pictures of the conversion removed"), std::string::npos)
        << r.out;
    EXPECT_EQ(ReadFile(t), first);
    r = Cli({"restore", t});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("nothing to put back"), std::string::npos) << r.out;

    // The whole tree back as it was before the first conversion, but for what restore
    // keeps: the backups and the converted texts.
    for (const char* kept : {"t.htm.1", "t.htm.1.record", "t.htm.converted", "t.htm.converted.1"})
        std::filesystem::remove(dir / "tree" / "sub" / "backup" / kept);
    r = Cli({"restore-folder", (dir / "tree").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    auto files = FilesOf(dir / "tree");
    EXPECT_EQ(files["sub/t.htm"], first);
    EXPECT_EQ(files["u.htm"], first);
    EXPECT_EQ(files["plain.htm"], "<p>no art</p>");
    EXPECT_EQ(files["sub/t/001.png"], "a picture of the user's own");
    EXPECT_EQ(files["backup/u.htm.converted"], converted.at("u.htm"));
    for (const auto& [name, bytes] : files)
        EXPECT_TRUE(name.find(".png") == std::string::npos || name == "sub/t/001.png") << name;
    EXPECT_FALSE(files.contains("u/"));

    // A document without a copy is left as it is, with a message.
    r = Cli({"restore", (dir / "tree" / "plain.htm").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "quarvel-cli: " + (dir / "tree" / "plain.htm").string() + ": no backup\n");
}

TEST(ConvertCli, OutOfMemoryIsAMessage) {
    // Under an address-space limit that holds the document once but not its new
    // text: a message, exit 1, the document as it was.
    TempDir dir;
    // One heap for all threads: a thread's own heap would take a varying share of
    // the address space, and with it the limit's meaning.
    const std::vector<std::string> oneHeap = {"MALLOC_ARENA_MAX=1"};
    auto fits = [&](int megabytes) {
        WriteFile(dir / "small.htm", "<dd>a\r\n");
        return CliUnder("ulimit -v " + std::to_string(megabytes << 10),
                        {"convert", "--no-backup", (dir / "small.htm").string()}, oneHeap)
                   .exit_code == 0;
    };
    int low = 16, high = 2048;  // what the program needs for a tiny document, to 16 MB
    if (!fits(high)) GTEST_SKIP() << "the program does not run under a 2 GB limit here";
    while (high - low > 16) (fits((low + high) / 2) ? high : low) = (low + high) / 2;

    constexpr int kDocumentMegabytes = 48;
    const std::string document = "<dd>art\r\n" + LargeThread(kDocumentMegabytes);
    WriteFile(dir / "big.htm", document);
    auto r = CliUnder("ulimit -v " + std::to_string((high + kDocumentMegabytes * 3 / 2) << 10),
                      {"convert", "--no-backup", (dir / "big.htm").string()}, oneHeap);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(r.err, "quarvel-cli: " + (dir / "big.htm").string() + ": out of memory\n");
    EXPECT_TRUE(ReadFile(dir / "big.htm") == document);
    EXPECT_FALSE(AnyTemporaryFile(dir.path()));
}

}  // namespace
}  // namespace quarvel
