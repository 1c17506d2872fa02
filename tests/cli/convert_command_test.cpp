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

using test::ReadFile;
using test::RunProcess;
using test::TempDir;
using test::WriteFile;

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

}  // namespace
}  // namespace quarvel
