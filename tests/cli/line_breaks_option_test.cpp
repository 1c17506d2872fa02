// --line-breaks on convert, convert-folder and render --html, and bLineBreaks of a
// settings file: art broken by line ends (<pre>) is drawn as its lines joined by <br>.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "render/renderer.h"
#include "support/test_support.h"

namespace quarvel::test {

namespace {

constexpr char kPre[] = "<pre class=\"aa\">";
constexpr char kStretch[] = "\n  /\\_/\\\r\n ( o.o )\r  = ^ =\n";
// The same stretch with line ends as breaks, and as the stretch stands.
constexpr char kLines[] = "  /\\_/\\<br> ( o.o )<br>  = ^ =";

TEST(LineBreaksCli, EachCommandAndTheSettingsFileDrawLineEndsAsBreaks) {
    struct Case {
        const char* what;
        std::vector<std::string> args;  // PATH: the document, FOLDER: its folder, OUT: render's picture
        std::string settings;           // a settings file given with --settings; empty: none
        bool broken;                    // drawn as kLines, else as kStretch
    } cases[] = {
        {"convert", {"convert", "--line-breaks", "PATH"}, "", true},
        {"convert-folder", {"convert-folder", "--line-breaks", "FOLDER"}, "", true},
        {"convert without it", {"convert", "PATH"}, "", false},
        {"convert --settings", {"convert", "PATH"}, "[TargetFilePage]\r\nbLineBreaks=TRUE\r\n", true},
        {"convert-folder --settings", {"convert-folder", "FOLDER"}, "[TargetFolderPage]\r\nbLineBreaks=TRUE\r\n", true},
        {"the other page's key", {"convert", "PATH"}, "[TargetFolderPage]\r\nbLineBreaks=TRUE\r\n", false},
        {"render --html", {"render", "--html", "--line-breaks", "PATH", "-o", "OUT"}, "", true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::filesystem::path doc = dir / "t.htm";
        const bool render = c.args[0] == "render";
        WriteFile(doc, render ? std::string(kStretch) : std::string("<p>x</p>\n") + kPre + kStretch + "</pre>\n");
        std::vector<std::string> args = {QUARVEL_CLI_PATH};
        for (const std::string& arg : c.args)
            args.push_back(arg == "PATH" ? doc.string() : arg == "FOLDER" ? dir.path().string()
                                                      : arg == "OUT"      ? (dir / "out.png").string()
                                                                          : arg);
        if (!render) args.insert(args.begin() + 2, {"--no-backup", "--start", kPre, "--end", "</pre>"});
        if (!c.settings.empty()) {
            WriteFile(dir / "s.ini", c.settings);
            args.insert(args.begin() + 2, {"--settings", (dir / "s.ini").string()});
        }
        const ProcessResult run = RunProcess(args);
        ASSERT_EQ(run.exit_code, 0) << c.what << ": " << run.err;
        if (!render) {
            EXPECT_EQ(ReadFile(doc), std::string("<p>x</p>\n") + kPre + "<img src=\"./t/001.png\"></pre>\n") << c.what;
        }
        platform::Picture drawn;
        ASSERT_TRUE(DecodePng(render ? dir / "out.png" : dir / "t/001.png", drawn)) << c.what;
        const platform::Picture expected = render::RenderPicture(c.broken ? kLines : kStretch, render::Appearance{});
        EXPECT_EQ(drawn.width, expected.width) << c.what;
        EXPECT_TRUE(drawn.rgb == expected.rgb) << c.what;
    }
}

}  // namespace
}  // namespace quarvel::test
