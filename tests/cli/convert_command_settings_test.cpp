// quarvel-cli --settings with settings files as other programs and systems save them.

#include <gtest/gtest.h>

#include "render/renderer.h"
#include "support/test_support.h"

namespace quarvel::test {

using render::Appearance;
using render::RenderPicture;

using platform::Picture;

namespace {

TEST(SettingsCli, FilesWithAMarkOrOtherLineEndsAreUsedAndForeignOnesReported) {
    TempDir dir;
    const std::string document = "<p>art</p><dd>x\r\n";
    auto convert = [&](const std::string& settings) {
        WriteFile(dir / "s.ini", settings);
        WriteFile(dir / "a.htm", document);
        std::filesystem::remove_all(dir / "a");
        return RunProcess({QUARVEL_CLI_PATH, "convert", "--no-backup", "--settings", (dir / "s.ini").string(),
                           (dir / "a.htm").string()});
    };
    const std::string section = "[TargetFilePage]\rstrSepalaterStart1=<p>\rstrSepalaterEnd1=</p>\r";
    for (const std::string& settings : {section, "\xEF\xBB\xBF" + section}) {
        auto r = convert(settings);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(ReadFile(dir / "a.htm"), "<p><img src=\"./a/001.png\"></p><dd>x\r\n");
    }
    // None of the program's sections: said on standard error, then the defaults (<dd> to
    // the line end) do the work.
    auto r = convert("[Other]\r\nstrSepalaterStart1=<p>\r\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "quarvel-cli: " + (dir / "s.ini").string() +
                         ": not a settings file of this program (none of the sections General, TargetFilePage, "
                         "TargetFolderPage); the defaults are used\n");
    EXPECT_EQ(ReadFile(dir / "a.htm"), "<p>art</p><dd><img src=\"./a/001.png\">\r\n");
}

// A settings file that cannot be read fails as an input file does (exit 1, the
// reason); a value that is not understood is said, with what is used instead.
TEST(SettingsCli, WhatCannotBeReadOrUnderstoodIsSaid) {
    TempDir dir;
    WriteFile(dir / "a.htm", "<dd>x\r\n");
    auto convert = [&](const std::string& settings) {
        return RunProcess(
            {QUARVEL_CLI_PATH, "convert", "--no-backup", "--settings", settings, (dir / "a.htm").string()});
    };
    for (auto [name, reason] : {std::pair{"none.ini", "No such file or directory"}, std::pair{"", "Is a directory"}}) {
        const std::string path = (dir / name).string();
        auto r = convert(path);
        EXPECT_EQ(r.exit_code, 1) << path;
        EXPECT_EQ(r.err, "quarvel-cli: " + path + ": could not open the file: " + reason + "\n");
        EXPECT_EQ(ReadFile(dir / "a.htm"), "<dd>x\r\n");
    }

    WriteFile(dir / "s.ini",
              "[General]\r\ncolFore=#GGGGGG\r\ncolBack=#0000FF\r\niMargin=2px\r\nbSpace=maybe\r\n"
              "[TargetFilePage]\r\nbBackup=FALSE\r\niCode=7\r\n[TargetFolderPage]\r\niCode=9\r\n");
    auto r = convert((dir / "s.ini").string());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::string at = "quarvel-cli: " + (dir / "s.ini").string() + ": warning: ";
    EXPECT_EQ(r.err, at + "[General] colFore=#GGGGGG is not understood; #000000 is used\n" + at +
                         "[General] iMargin=2px is not understood; 2 is used\n" + at +
                         "[General] bSpace=maybe is not understood; FALSE is used\n" + at +
                         "[TargetFilePage] iCode=7 is not understood; 0 is used\n");
    // What was used: red on black, a margin of 2, every space, Shift-JIS.
    EXPECT_EQ(ReadFile(dir / "a.htm"), "<dd><img src=\"./a/001.png\">\r\n");
    Picture picture;
    ASSERT_TRUE(DecodePng(dir / "a/001.png", picture));
    Appearance look;
    look.textColor = {0, 0, 0};
    look.backColor = {255, 0, 0};
    look.margin = 2;
    look.collapseSpaces = false;
    EXPECT_TRUE(picture.rgb == RenderPicture("x", look).rgb);
}

}  // namespace
}  // namespace quarvel::test
