// quarvel-cli convert and convert-folder, run end to end on real files.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

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

using test::ReadFile;
using test::RunProcess;
using test::TempDir;
using test::WriteFile;

test::ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), QUARVEL_CLI_PATH);
    return RunProcess(args);
}

TEST(ConvertCli, ConvertsDocumentsAndSetsTheExitStatus) {
    TempDir dir;
    std::filesystem::create_directory(dir / "logs");
    WriteFile(dir / "logs/thread.htm", "<dt>1<dd>AA<br>BB\r\n<dt>2<dd>CC");
    WriteFile(dir / "logs/スレ 2.htm", "<dd>x\r\n");
    auto r = Cli({"convert", (dir / "logs/thread.htm").string(), (dir / "logs/スレ 2.htm").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "logs/thread.htm"),
              "<dt>1<dd><img src=\"./thread/001.png\">\r\n<dt>2<dd><img src=\"./thread/002.png\">");
    EXPECT_EQ(ReadFile(dir / "logs/スレ 2.htm"), NativeToCp932("<dd><img src=\"./スレ%202/001.png\">\r\n"));
    EXPECT_TRUE(std::filesystem::exists(dir / "logs/スレ 2/001.png"));
    EXPECT_EQ(ReadFile(dir / "logs/backup/thread.htm"), "<dt>1<dd>AA<br>BB\r\n<dt>2<dd>CC");
    EXPECT_TRUE(r.err.empty()) << r.err;  // not a terminal: no progress line

    // A missing document fails with its message; the others are still converted.
    WriteFile(dir / "b.htm", "<dd>y\r\n");
    r = Cli({"convert", "--no-backup", (dir / "none.htm").string(), (dir / "b.htm").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find((dir / "none.htm").string() + ": could not open the file"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / "b.htm"), "<dd><img src=\"./b/001.png\">\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "backup"));

    EXPECT_EQ(Cli({"convert"}).exit_code, 2);
    EXPECT_EQ(Cli({"convert", "--code", "jis", "x.htm"}).exit_code, 2);
    EXPECT_EQ(Cli({"convert", "--pattern", "*.htm", "x.htm"}).exit_code, 2);
    EXPECT_EQ(Cli({"convert", "--start", "a", "--start", "b", "--start", "c", "--start", "d", "x"}).exit_code, 2);
}

// What is given to convert that it cannot convert is said, and counts as a failure;
// "--end=" is an empty separator, not the next word.
TEST(ConvertCli, WhatConvertCannotTakeIsSaid) {
    TempDir dir;
    WriteFile(dir / "p.png", "\x89PNG\r\n\x1A\n<dd>x\r\n");
    WriteFile(dir / "a.htm", "<dd>x<dt>y\r\n");
    WriteFile(dir / "b.htm", "<dd>x<dt>y\r\n");
    auto r = Cli({"convert", "--no-backup", (dir / "p.png").string(), (dir / "a.htm").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "quarvel-cli: " + (dir / "p.png").string() + ": not text but PNG picture; left as it is\n");
    EXPECT_EQ(ReadFile(dir / "p.png"), "\x89PNG\r\n\x1A\n<dd>x\r\n");
    EXPECT_EQ(ReadFile(dir / "a.htm"), "<dd><img src=\"./a/001.png\"><dt>y\r\n");

    // A code named that does not fit the document leaves it as it was, names the code
    // that fits and the option for it; by default each document is read in its own.
    const std::string utf8 = "<dd>（´・ω・｀）\r\n";
    WriteFile(dir / "u.htm", utf8);
    r = Cli({"convert", "--no-backup", "--code", "SJIS", (dir / "u.htm").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(
        r.err,
        "quarvel-cli: " + (dir / "u.htm").string() +
            ": not converted: the document is not in the character code named: the document's character code: UTF-8\n"
            "quarvel-cli: " +
            (dir / "u.htm").string() + ": convert it with --code utf8 (or --code auto)\n");
    EXPECT_EQ(ReadFile(dir / "u.htm"), utf8);
    EXPECT_FALSE(std::filesystem::exists(dir / "u"));
    r = Cli({"convert", "--no-backup", (dir / "u.htm").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "u.htm"), "<dd><img src=\"./u/001.png\">\r\n");

    // No end separator: each stretch runs to the end of its document.
    WriteFile(dir / "a.htm", "<dd>x<dt>y\r\n");
    std::filesystem::remove_all(dir / "a");
    r = Cli({"convert", "--no-backup", "--end=", (dir / "a.htm").string(), (dir / "b.htm").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "a.htm"), "<dd><img src=\"./a/001.png\">");
    EXPECT_EQ(ReadFile(dir / "b.htm"), "<dd><img src=\"./b/001.png\">");
}

// A font file that cannot be used fails every command alike, as an input file that
// cannot be read does: exit 1, the path and the reason, nothing made or changed.
TEST(ConvertCli, AnUnusableFontFailsEveryCommandAlike) {
    TempDir dir;
    WriteFile(dir / "junk.ttf", "not a font");
    WriteFile(dir / "in.txt", "<dd>x\r\n");
    for (auto [font, reason] : {std::pair{"junk.ttf", "not a font file FreeType can read"},
                                std::pair{"none.ttf", "No such file or directory"}}) {
        const std::string path = (dir / font).string();
        const std::vector<std::string> runs[] = {
            {"render", (dir / "in.txt").string(), "-o", (dir / "out.png").string()},
            {"render-pieces", (dir / "in.txt").string(), "-o", (dir / "pieces").string()},
            {"convert", (dir / "in.txt").string()},
            {"convert-folder", "--pattern=*.txt", dir.path().string()},
        };
        for (std::vector<std::string> args : runs) {
            const std::vector<std::string> tree = test::TreeOf(dir.path());
            args.insert(args.begin() + 1, {"--font", path});
            auto r = Cli(args);
            EXPECT_EQ(r.exit_code, 1) << args.front() << " " << font;
            EXPECT_EQ(r.err, "quarvel-cli: " + path + ": the font file cannot be used: " + reason + "\n")
                << args.front();
            EXPECT_EQ(test::TreeOf(dir.path()), tree) << args.front();
            EXPECT_EQ(ReadFile(dir / "in.txt"), "<dd>x\r\n");
        }
    }
}

// The progress line on a terminal: cut to its width (a long path would wrap and leave
// lines behind), and without escape sequences where the terminal has none.
TEST(ConvertCli, TheProgressLineFitsTheTerminal) {
    TempDir dir;
    const std::filesystem::path folder = dir / "a folder whose name alone is wider than the terminal" / "スレッド";
    std::filesystem::create_directories(folder);
    std::string thread;
    for (int i = 0; i < 30; ++i) thread += "<dd>art " + std::to_string(i) + "\r\n";
    for (const char* name : {"one.htm", "two.htm", "a document with a long name of its own.htm"})
        WriteFile(folder / name, thread);
    for (const char* term : {"TERM=xterm", "TERM=dumb"}) {
        test::TerminalProcess run({QUARVEL_CLI_PATH, "convert-folder", "--no-backup", "--jobs=1", dir.path().string()},
                                  50, {term});
        ASSERT_EQ(run.Wait(std::chrono::seconds(60)), 0) << run.Shown();
        std::string shown = run.Shown();
        EXPECT_NE(shown.find("(001)"), std::string::npos) << term << ": no progress line: " << shown;
        // The closing summary is a line of its own, after the progress line has gone.
        const std::string summary = "quarvel-cli: 3 documents: 3 converted";
        ASSERT_NE(shown.rfind(summary), std::string::npos) << shown;
        EXPECT_TRUE(shown.ends_with(" warnings\r\n")) << shown;
        shown.erase(shown.rfind(summary));
        const bool dumb = std::string(term) == "TERM=dumb";
        if (dumb) {
            EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
        }
        for (std::size_t at = shown.find("\x1b[K"); at != std::string::npos; at = shown.find("\x1b[K"))
            shown.erase(at, 3);
        // Each state of the line between carriage returns, the widest of them.
        std::istringstream pieces(shown);
        std::string widest;
        std::size_t widestColumns = 0;
        for (std::string piece; std::getline(pieces, piece, '\r');) {
            std::size_t columns = 0;  // UTF-8; two columns for kana and kanji
            for (unsigned char c : piece) columns += (c & 0xC0) == 0x80 ? 0 : c >= 0xE3 ? 2 : 1;
            if (columns > widestColumns) widest = piece, widestColumns = columns;
        }
        EXPECT_LE(widestColumns, 49u) << term << ": '" << widest << "'";
        // Nothing of the line is left at the end.
        EXPECT_TRUE(shown.ends_with("\r") || shown.empty()) << term << ": " << shown;
        for (const char* name : {"one.htm", "two.htm"}) {
            WriteFile(folder / name, thread);
            std::filesystem::remove_all(folder / std::filesystem::path(name).stem());
        }
        std::filesystem::remove_all(folder / "a document with a long name of its own");
        WriteFile(folder / "a document with a long name of its own.htm", thread);
    }
}

// On a terminal a job ends with one line that counts what it came to, in the terms of
// the window's summary: documents converted, left as they were and failed, pictures
// written, warnings (each of them printed above it). Not in --quiet, nor off a terminal.
TEST(ConvertCli, AJobEndsWithItsSummaryOnATerminalAFolderJobAlways) {
    TempDir dir;
    const std::filesystem::path tree = dir / "tree";
    test::WriteWarningTree(tree, dir / "elsewhere.htm");
    const struct {
        std::vector<std::string> args;
        std::string summary;  // the terminal's last line
    } cases[] = {
        {{"convert-folder", "--no-backup", tree.string()},
         "quarvel-cli: 4 documents: 1 converted, 2 left as they were, 1 failed; 3 pictures written; 2 warnings\r\n"},
        {{"convert", "--no-backup", (dir / "elsewhere.htm").string()},
         "quarvel-cli: 1 document: 1 converted, 0 left as they were, 0 failed; 1 picture written; 0 warnings\r\n"},
        {{"convert-folder", (dir / "missing").string()},
         "quarvel-cli: 0 documents: 0 converted, 0 left as they were, 0 failed; 0 pictures written; 0 warnings; "
         "1 failure outside the documents\r\n"},
        {{"convert", "--quiet", (dir / "elsewhere.htm").string()}, ""},
        {{"convert-folder", "--quiet", "--no-backup", tree.string()},
         "quarvel-cli: 4 documents: 0 converted, 3 left as they were, 1 failed; 0 pictures written; 0 warnings\r\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = c.args;
        argv.insert(argv.begin(), QUARVEL_CLI_PATH);
        test::TerminalProcess run(argv, 200);
        ASSERT_TRUE(run.Wait(std::chrono::seconds(60))) << run.Shown();
        const std::string& shown = run.Shown();
        if (c.summary.empty()) {
            EXPECT_EQ(shown.find("documents:"), std::string::npos) << shown;
        } else {
            EXPECT_TRUE(shown.ends_with(c.summary)) << shown;  // after the progress line was taken back
        }
    }
    // Off a terminal, standard error holds the warnings and messages, and for a folder
    // the summary as its last line.
    auto r = Cli({"convert-folder", "--no-backup", tree.string()});
    EXPECT_TRUE(r.err.ends_with(
        "\nquarvel-cli: 4 documents: 0 converted, 3 left as they were, 1 failed; 0 pictures written; 0 warnings\n"))
        << r.err;
    r = Cli({"convert", "--no-backup", (dir / "elsewhere.htm").string()});
    EXPECT_EQ(r.err.find("document:"), std::string::npos) << r.err;
}

// A file name never reaches the terminal as control characters (a name holding ESC
// could set the title, clear the screen or forge a line): they are shown escaped, in
// messages and in the progress line alike.
TEST(ConvertCli, ControlCharactersInNamesAreShownEscaped) {
    TempDir dir;
    const std::string missing = (dir / "missing\x1b[2J.htm").string();
    const auto r = Cli({"convert", missing});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing\\033[2J.htm"), std::string::npos) << r.err;

    std::filesystem::create_directory(dir / "tree");
    WriteFile(dir / "tree" / "bell\x07\x1b]0;title\x07.htm", "<dd>art\r\n");
    test::TerminalProcess run({QUARVEL_CLI_PATH, "convert-folder", "--no-backup", (dir / "tree").string()}, 200);
    ASSERT_EQ(run.Wait(std::chrono::seconds(60)), 0) << run.Shown();
    EXPECT_EQ(run.Shown().find('\x07'), std::string::npos) << run.Shown();
    EXPECT_NE(run.Shown().find("bell\\007\\033]0;title\\007.htm(000)"), std::string::npos) << run.Shown();
}

TEST(ConvertCli, JobsOption) {
    // --jobs N: any N from 1 gives the same documents and pictures, in either form;
    // anything else is bad usage, and nothing is touched. Without its workers' module
    // beside it (a copy of the program elsewhere: "copy") a job of several workers says
    // so once and draws the same pictures one at a time; with it, it says nothing.
    TempDir dir;
    const std::filesystem::path copy = dir / "bin/quarvel-cli";
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(QUARVEL_CLI_PATH, copy);
    const std::string alone = "quarvel-cli: pictures are drawn one at a time";
    std::string thread;
    for (int i = 0; i < 12; ++i) thread += "<dt>" + std::to_string(i) + "<dd>art " + std::to_string(i * i) + "\r\n";
    for (const std::string form : {"", "--indexed"}) {
        for (const std::string jobs : {"1", "3", "copy"}) {
            const std::filesystem::path folder = dir / (jobs + form) / "f";
            std::filesystem::create_directories(folder);
            WriteFile(folder / "t.htm", thread);
            std::vector<std::string> args = {"convert-folder", "--jobs", jobs == "copy" ? "3" : jobs, folder.string()};
            if (!form.empty()) args.push_back(form);
            args.insert(args.begin(), jobs == "copy" ? copy.string() : std::string(QUARVEL_CLI_PATH));
            auto r = RunProcess(args);
            EXPECT_EQ(r.exit_code, 0) << r.err;
            const std::size_t said = r.err.find(alone);
            if (jobs == "copy") {
                EXPECT_NE(said, std::string::npos) << r.err;
                EXPECT_EQ(r.err.find(alone, said + 1), std::string::npos) << r.err;
            } else {
                EXPECT_EQ(said, std::string::npos) << r.err;
            }
        }
        const std::filesystem::path one = dir / ("1" + form);
        for (const std::string other : {"3", "copy"}) {
            const std::filesystem::path three = dir / (other + form);
            EXPECT_EQ(ReadFile(three / "f/t.htm"), ReadFile(one / "f/t.htm")) << other;
            EXPECT_EQ(test::TreeOf(three), test::TreeOf(one)) << other;
            for (int i = 1; i <= 12; ++i) {
                const std::string picture = "f/t/" + PictureNumber(i) + ".png";
                EXPECT_EQ(ReadFile(three / picture), ReadFile(one / picture)) << other << " " << picture;
            }
        }
    }
    EXPECT_NE(ReadFile(dir / "1--indexed/f/t/001.png"), ReadFile(dir / "1/f/t/001.png"));

    WriteFile(dir / "x.htm", thread);
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--jobs", "0"}, {"--jobs", "-2"}, {"--jobs", "two"}, {"--jobs", "1.5"}, {"--jobs", "257"}, {"--jobs"}}) {
        std::vector<std::string> args = {"convert", (dir / "x.htm").string()};
        args.insert(args.end(), bad.begin(), bad.end());
        auto r = Cli(args);
        EXPECT_EQ(r.exit_code, 2) << bad.back();
        EXPECT_NE(r.err.find("option --jobs needs a number from 1 to 256"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFile(dir / "x.htm"), thread);
}

TEST(ConvertCli, OptionsAndSettingsFile) {
    TempDir dir;
    // Separators as typed in the window: backslash-n stands for CR LF.
    WriteFile(dir / "a.htm", "<pre>one\r\ntwo</pre>[x]");
    auto r = Cli({"convert", "--no-backup", "--start", "<pre>", "--end", "\\n", (dir / "a.htm").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "a.htm"), "<pre><img src=\"./a/001.png\">\r\ntwo</pre>[x]");

    // The folder page's section: EUC-JP, "[" to "]", no backups, *.txt.
    WriteFile(dir / "s.ini",
              "[TargetFolderPage]\r\nstrFileFilter=*.txt\r\nbSubFolder=FALSE\r\nstrSepalaterStart1=[\r\n"
              "strSepalaterEnd1=]\r\nstrSepalaterEnd2=\r\nbBackup=FALSE\r\niCode=1\r\n"
              "[General]\r\niMargin=7\r\n");
    std::filesystem::create_directory(dir / "f");
    std::filesystem::create_directory(dir / "f/sub");
    const std::string euc = "\xA4\xA2[\xA5\xBD]\xE0\n";
    WriteFile(dir / "f/e.txt", euc);
    WriteFile(dir / "f/sub/e.txt", euc);
    r = Cli({"convert-folder", "--settings", (dir / "s.ini").string(), (dir / "f").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "f/e.txt"), "\xA4\xA2[<img src=\"./e/001.png\">]\xE0\n");
    EXPECT_EQ(ReadFile(dir / "f/sub/e.txt"), euc);
    EXPECT_FALSE(std::filesystem::exists(dir / "f/backup"));
    Picture picture;
    ASSERT_TRUE(test::DecodePng(dir / "f/e/001.png", picture));
    Appearance look;
    look.margin = 7;  // the file's margin
    Picture expected = RenderPicture("\x83\x5C", look);
    EXPECT_EQ(picture.width, expected.width);
    EXPECT_TRUE(picture.rgb == expected.rgb);

    r = Cli({"convert-folder", (dir / "missing").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("folder not found"), std::string::npos);
}

// --indexed (or bIndexedPng=TRUE in the settings file) on every sub-command: the
// pictures are palette files of one bit per pixel with the pixels of the RGB ones.
TEST(ConvertCli, IndexedPicturesOnEverySubCommand) {
    TempDir dir;
    const std::string art = "ab<br>&hearts;\x81\xA1";  // ♥ from a fallback face, ■
    const std::string document = "<dt>1<dd>" + art + "\r\n";
    WriteFile(dir / "text.txt", art);
    WriteFile(dir / "on.ini", "[General]\r\nbIndexedPng=TRUE\r\ncolFore=#0000FF\r\n");
    WriteFile(dir / "off.ini", "[General]\r\nbIndexedPng=FALSE\r\n");
    Appearance red;
    red.textColor = Color{255, 0, 0};
    struct Case {
        const char* name;
        std::vector<std::string> args;  // DOC, OUT, FOLDER: the case's text or document, picture, folder
        std::string picture;            // relative to the case's folder
        Appearance look;
        int colourType;
    };
    const Case cases[] = {
        {"render", {"render", "--html", "DOC", "-o", "OUT", "--indexed", "--fore", "FF0000"}, "out.png", red, 3},
        {"render rgb", {"render", "--html", "DOC", "-o", "OUT", "--fore", "FF0000"}, "out.png", red, 2},
        {"convert", {"convert", "--indexed", "--fore", "FF0000", "DOC"}, "doc/001.png", red, 3},
        {"convert-folder", {"convert-folder", "--indexed", "--fore", "FF0000", "FOLDER"}, "doc/001.png", red, 3},
        {"settings on", {"convert", "--settings", (dir / "on.ini").string(), "DOC"}, "doc/001.png", red, 3},
        {"settings off", {"convert", "--settings", (dir / "off.ini").string(), "DOC"}, "doc/001.png", {}, 2},
        {"settings off, option on",
         {"convert", "--indexed", "--settings", (dir / "off.ini").string(), "DOC"},
         "doc/001.png",
         {},
         3},
    };
    for (const Case& c : cases) {
        const std::filesystem::path folder = dir / c.name;
        std::filesystem::create_directory(folder);
        WriteFile(folder / "doc.htm", document);
        std::vector<std::string> args;
        for (const std::string& a : c.args) {
            if (a == "DOC")
                args.push_back(c.args[0] == "render" ? (dir / "text.txt").string() : (folder / "doc.htm").string());
            else
                args.push_back(a == "OUT" ? (folder / "out.png").string() : a == "FOLDER" ? folder.string() : a);
        }
        const test::ProcessResult r = Cli(args);
        ASSERT_EQ(r.exit_code, 0) << c.name << ": " << r.err;
        const std::string bytes = ReadFile(folder / c.picture);
        const std::vector<test::PngChunk> chunks = test::PngChunks(bytes);
        ASSERT_FALSE(chunks.empty()) << c.name;
        EXPECT_EQ(chunks[0].data[9], c.colourType) << c.name;
        EXPECT_EQ(chunks[0].data[8], c.colourType == 3 ? 1 : 8) << c.name;
        Picture decoded;
        ASSERT_TRUE(test::DecodePngBytes(bytes, decoded)) << c.name;
        EXPECT_TRUE(decoded.rgb == RenderPicture(art.c_str(), c.look).rgb) << c.name;
    }
}

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

// Runs quarvel-cli through the shell, for limits set with ulimit first.
test::ProcessResult CliUnder(const std::string& limit, const std::vector<std::string>& args,
                             const std::vector<std::string>& env = {}) {
    std::string command = limit + "; exec \"$0\" \"$@\"";
    std::vector<std::string> argv = {"/bin/sh", "-c", command, QUARVEL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, {}, env);
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
