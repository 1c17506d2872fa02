// quarvel-cli --settings with settings files as other programs and systems save them.

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quarvel::test {
namespace {

TEST(SettingsCli, FilesWithAMarkOrOtherLineEndsAreUsedAndForeignOnesReported) {
    TempDir dir;
    const std::string document = "<p>art</p><dd>x\r\n";
    auto convert = [&](const std::string& settings) {
        WriteFile(dir / "s.ini", settings);
        WriteFile(dir / "a.htm", document);
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

}  // namespace
}  // namespace quarvel::test
