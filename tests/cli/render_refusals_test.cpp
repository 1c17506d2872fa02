// quarvel-cli render: what it refuses, how it fails, and what it survives (bad usage, unreadable
// input, unwritable output, input over 16 MB, memory that runs out, hostile bytes, a kill).

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/codec.h"
#include "render/renderer.h"
#include "render_cli.h"
#include "support/test_support.h"

namespace quarvel {

using render::Appearance;
using render::RenderPicture;

using platform::Color;
using platform::Picture;
namespace cp932 = platform::cp932;

namespace {

using test::RunProcess;

TEST_F(RenderCli, BadUsageExitsWithTwo) {
    for (auto args : std::vector<std::vector<std::string>>{{},      // no -o
                                                           {"-o"},  // -o without a name
                                                           {"-o", "x.png", "--margin", "101"},
                                                           {"-o", "x.png", "--margin", "-1"},
                                                           {"-o", "x.png", "--margin", "5px"},
                                                           {"-o", "x.png", "--fore", "red"},
                                                           {"-o", "x.png", "--encoding", "latin1"},
                                                           {"-o", "x.png", "--bogus"},
                                                           {"a.txt", "b.txt", "-o", "x.png"}}) {
        auto r = Render(args);
        EXPECT_EQ(r.exit_code, 2) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("quarvel-cli: "), std::string::npos);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    }
    EXPECT_EQ(RunProcess({QUARVEL_CLI_PATH, "frobnicate"}).exit_code, 2);
}

TEST_F(RenderCli, UnreadableInputAndUnwritableOutputExitWithOne) {
    auto missing = Render({(dir / "missing.txt").string(), "-o", (dir / "m.png").string()});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("missing.txt"), std::string::npos);
    EXPECT_NE(missing.err.find("No such file"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "m.png"));

    auto folder = Render({dir.path().string(), "-o", (dir / "d.png").string()});
    EXPECT_EQ(folder.exit_code, 1);
    EXPECT_NE(folder.err.find("Is a directory"), std::string::npos);

    auto unwritable = Render({"-", "-o", (dir / "no-folder" / "x.png").string()}, "abc");
    EXPECT_EQ(unwritable.exit_code, 1);
    EXPECT_NE(unwritable.err.find("no-folder/x.png"), std::string::npos);

    auto bad_font = Render({"-", "-o", (dir / "f.png").string(), "--font", (dir / "nope.ttf").string()}, "a");
    EXPECT_EQ(bad_font.exit_code, 1);
    EXPECT_NE(bad_font.err.find("nope.ttf"), std::string::npos);
}

// Text typed on a terminal ends with one Ctrl+D at the start of a line, as for cat,
// not with a line: a terminal hands over one line a read, so a program that took a
// line for the end would draw the first line alone, however fast or slow it runs.
TEST_F(RenderCli, TypedTextEndsAtTheFirstCtrlD) {
    test::TerminalProcess run({QUARVEL_CLI_PATH, "render", "-o", (dir / "typed.png").string()}, 80);
    run.Type("abc\n");
    run.Type("def\n");
    run.Type("\x04");
    std::optional<int> exit = run.Wait(std::chrono::seconds(10));
    if (!exit) {
        ADD_FAILURE() << "one Ctrl+D did not end the text";
        run.Type("\x04");
        exit = run.Wait(std::chrono::seconds(10));
    }
    EXPECT_EQ(exit, 0) << run.Shown();
    EXPECT_TRUE(Decode("typed.png").rgb == RenderPicture("abc<br>def<br>", Appearance{}).rgb) << "not both lines";
}

TEST_F(RenderCli, InputBeyondSixteenMegabytesIsRefused) {
    const std::size_t cap = 16u << 20;
    const std::string at_cap(cap, 'W');
    auto fits = Render({"-", "--html", "-o", (dir / "fits.png").string()}, at_cap);
    EXPECT_EQ(fits.exit_code, 0) << fits.err;

    test::WriteFile(dir / "big.txt", at_cap + "W");
    for (const std::string& input : {(dir / "big.txt").string(), std::string("/dev/urandom")}) {
        auto r = Render({input, "-o", (dir / "big.png").string()});
        EXPECT_EQ(r.exit_code, 1) << input;
        EXPECT_EQ(r.err,
                  "quarvel-cli: " + input +
                      ": file too large: more than 16 MB of text, more than can be drawn (give the art alone)\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "big.png")) << input;
    }
    auto piped = Render({"-", "-o", (dir / "big.png").string()}, at_cap + "W");
    EXPECT_EQ(piped.exit_code, 1);
    EXPECT_EQ(piped.err,
              "quarvel-cli: (standard input): file too large: more than 16 MB of text, more than can be drawn "
              "(give the art alone)\n");
}

TEST_F(RenderCli, RunningOutOfMemoryIsReported) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer cannot start under an address-space limit";
#else
    // The smallest address-space limit (in steps of 8 MB) under which a small text is
    // drawn; 40 MB more do not hold 16 MB of hearts and their 43 MB of references.
    auto limited = [&](long kilobytes, const std::string& input) {
        return RunProcess({"/bin/sh", "-c", "ulimit -v " + std::to_string(kilobytes) + " && exec \"$0\" \"$@\"",
                           QUARVEL_CLI_PATH, "render", "-", "-o", (dir / "limited.png").string()},
                          input);
    };
    long limit = 16 << 10;
    while (limit < (1 << 20) && limited(limit, "abc").exit_code != 0) limit += 8 << 10;
    ASSERT_LT(limit, 1 << 20) << "no limit under 1 GB lets a small text be drawn";
    // The fallback faces are opened when a character first needs them: one that cannot
    // be opened for want of memory is reported, never drawn as a blank.
    const std::string sparkles = "\xE2\x9C\xA8";  // ✨, in the last face of the chain
    ASSERT_EQ(Render({"-", "-o", (dir / "full.png").string()}, sparkles).exit_code, 0);
    for (long tight = limit; tight <= limit + (16 << 10); tight += 4 << 10) {
        std::filesystem::remove(dir / "limited.png");
        auto r = limited(tight, sparkles);
        if (r.exit_code == 0) {
            EXPECT_EQ(test::ReadFile(dir / "limited.png"), test::ReadFile(dir / "full.png")) << tight;
        } else {
            EXPECT_EQ(r.exit_code, 1) << r.err;
            EXPECT_NE(r.err.find("out of memory"), std::string::npos) << tight << ": " << r.err;
        }
    }
    std::string hearts;
    for (int i = 0; i < (16 << 20) / 3; ++i) hearts += "\xE2\x99\xA5";
    std::filesystem::remove(dir / "limited.png");
    auto r = limited(limit + (40 << 10), hearts);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(r.err, "quarvel-cli: out of memory\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "limited.png"));
#endif
}

TEST_F(RenderCli, HostileInputAlwaysGivesAPicture) {
    std::string many_lines;
    for (int i = 0; i < 10000; ++i) many_lines += "line\n";
    const std::vector<std::pair<std::string, std::string>> inputs = {
        {"invalid", "\x80\xA0\xFD\xFE\xFF\x82\x20\x82"},
        {"megabyte", std::string(1 << 20, 'W')},
        {"lines", many_lines},
        {"tags", "<a href=\"x<br>y"},
        {"refs", "&#x1F600&#99999999999999999999;&#xD800;&thetasym&"},
        {"lead", "\x82"},
    };
    for (const auto& [name, bytes] : inputs) {
        for (const char* mode : {"--html", "--no-space-sim"}) {
            test::WriteFile(dir / (name + ".txt"), bytes);
            auto r = Render({(dir / (name + ".txt")).string(), mode, "--encoding", "cp932", "-o",
                             (dir / (name + ".png")).string()});
            EXPECT_EQ(r.exit_code, 0) << name << ": " << r.err;
            Picture p = Decode(name + ".png");
            EXPECT_GE(p.width, 1) << name;
            EXPECT_LE(p.width, 1024) << name;
            EXPECT_LE(p.height, 900) << name;
        }
    }
}

TEST_F(RenderCli, OutputIsWholeAndOnlyWhatThisRunMadeIsRemoved) {
    // -o names a file (replaced whole, keeping its mode), a link (its target is
    // replaced, the link stays), a device or a pipe (written as it is, never removed).
    test::WriteFile(dir / "old.png", "old");
    ::chmod((dir / "old.png").c_str(), 0640);
    test::WriteFile(dir / "target.png", "old");
    std::filesystem::create_symlink("target.png", dir / "link.png");
    std::filesystem::create_symlink("made-by-link.png", dir / "dangling.png");
    const bool root = ::geteuid() == 0;
    if (root) {
        // A node of its own for the full device /dev/full (1, 7): the real one stays alone.
        ASSERT_EQ(::mknod((dir / "full").c_str(), S_IFCHR | 0666, ::makedev(1, 7)), 0);
    }
    struct Case {
        std::string output;
        int exit;
        std::string error;    // on standard error
        std::string picture;  // a file that holds the picture afterwards; empty for none
    };
    std::vector<Case> cases = {
        {"old.png", 0, "", "old.png"},
        {"link.png", 0, "", "target.png"},
        {"dangling.png", 0, "", "made-by-link.png"},
        {"no-folder/x.png", 1, "No such file or directory", ""},
        {".", 1, "Is a directory", ""},
    };
    if (root) cases.push_back({"full", 1, "No space left on device", ""});
    for (const Case& c : cases) {
        auto r = Render({"-", "-o", (dir / c.output).string()}, "abc");
        EXPECT_EQ(r.exit_code, c.exit) << c.output << ": " << r.err;
        if (!c.error.empty()) {
            EXPECT_NE(r.err.find(c.error), std::string::npos) << c.output << ": " << r.err;
        }
        if (!c.picture.empty()) {
            EXPECT_EQ(Decode(c.picture).height, 18) << c.output;
        }
    }
    struct stat st;
    ASSERT_EQ(::stat((dir / "old.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.png"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling.png"));
    if (root) {
        EXPECT_TRUE(std::filesystem::is_character_file(dir / "full"));
    }
    std::vector<std::string> expected = {"dangling.png", "link.png", "made-by-link.png", "old.png", "target.png"};
    if (root) expected.insert(expected.begin() + 1, "full");
    EXPECT_EQ(test::TreeOf(dir.path()), expected);

    // Standard output, a pipe here: the picture goes down it.
    auto piped = Render({"-", "-o", "/dev/stdout"}, "abc");
    EXPECT_EQ(piped.exit_code, 0) << piped.err;
    EXPECT_TRUE(piped.out.starts_with("\x89PNG\r\n\x1A\n"));

    // Standard output a log opened for appending: the picture goes after its lines, as
    // with -o -, and the log is neither truncated nor written from its start.
    auto alone = Render({"-", "-o", "-"}, "abc");
    for (const char* output : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "-"}) {
        test::WriteFile(dir / "log", "earlier lines\n");
        const std::string command = "printf abc | '" + std::string(QUARVEL_CLI_PATH) + "' render -o " + output +
                                    " >> '" + (dir / "log").string() + "'";
        auto r = test::RunProcess({"/bin/sh", "-c", command});
        EXPECT_EQ(r.exit_code, 0) << output << ": " << r.err;
        EXPECT_EQ(test::ReadFile(dir / "log"), "earlier lines\n" + alone.out) << output;
    }
}

}  // namespace
}  // namespace quarvel
