#include "app/core/settings_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "app/core/profile.h"
#include "support/test_support.h"

namespace quarvel {
namespace {

namespace stdfs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(SettingsFileTest, DefaultsWrittenFromScratchGiveTheCompleteFile) {
    TempDir dir;
    const stdfs::path path = dir / "settings.ini";
    ASSERT_TRUE(SaveAllSettings(path, AllSettings{}));
    EXPECT_EQ(ReadFile(path), test::kFreshSettingsFile);

    ASSERT_TRUE(SaveAllSettings(path, AllSettings{}));
    EXPECT_EQ(ReadFile(path), test::kFreshSettingsFile) << "a second save must change nothing";

    // Key-by-key writes in the same order give the same bytes as the one batch.
    const stdfs::path single = dir / "single.ini";
    SaveCommonSettings(single, settings_names::kFilePage, CommonSettings{});
    SaveFolderPageSettings(single, FolderPageSettings{});
    SaveGeneralSettings(single, GeneralSettings{});
    EXPECT_EQ(ReadFile(single), test::kFreshSettingsFile);
}

TEST(SettingsFileTest, SavingIntoAForeignFileUpdatesKeysInPlace) {
    TempDir dir;
    const stdfs::path path = dir / "mixed.ini";
    WriteFile(path,
              "; hand-written\n"
              "[Other]\r\n"
              "colFore=#123456\r\n"
              "\r\n"
              "[general]\r\n"
              "  ColFore = #00FF00 \r\n"
              "; margin in pixels\r\n"
              "iMargin=7\r\n"
              "\r\n"
              "[TargetFilePage]\n"
              "strSepalaterStart1=\"<p>\"\n"
              "unknown=1\n"
              "[Tail]\r\n"
              "x=y");
    AllSettings settings;
    settings.general.colFore = MakeColorRef(255, 0, 0);
    settings.general.iMargin = 3;
    settings.general.bSpace = false;
    ASSERT_TRUE(SaveAllSettings(path, settings));

    const std::string fresh = test::kFreshSettingsFile;
    const std::size_t folder = fresh.find("[TargetFolderPage]");
    const std::string folder_section = fresh.substr(folder, fresh.find("[General]") - folder);
    EXPECT_EQ(ReadFile(path),
              "; hand-written\n"
              "[Other]\r\n"
              "colFore=#123456\r\n"
              "\r\n"
              "[general]\r\n"
              "ColFore=#0000FF\r\n"
              "; margin in pixels\r\n"
              "iMargin=3\r\n"
              "colBack=#FFFFFF\r\n"
              "bSpace=FALSE\r\n"
              "\r\n"
              "[TargetFilePage]\n"
              "strSepalaterStart1=\"<dd>\"\n"
              "unknown=1\n"
              "strSepalaterStart2=\"\"\r\n"
              "strSepalaterStart3=\"\"\r\n"
              "strSepalaterEnd1=\"\\n\"\r\n"
              "strSepalaterEnd2=\"<dt>\"\r\n"
              "strSepalaterEnd3=\"</dl>\"\r\n"
              "bBackup=TRUE\r\n"
              "iCode=0\r\n"
              "[Tail]\r\n"
              "x=y\r\n" +
                  folder_section);
}

TEST(SettingsFileTest, LoadingStoresWhatTheFileGivesWithoutRangeChecks) {
    TempDir dir;
    const stdfs::path path = dir / "odd.ini";
    const std::string long_value(600, 'x');
    WriteFile(path, "[General]\r\n"
                    "colFore=#ff\r\n"
                    "colBack=0000FF\r\n"
                    "iMargin=150\r\n"
                    "bSpace= True \r\n"
                    "[TargetFilePage]\r\n"
                    "strSepalaterStart1=\"" + long_value + "\"\r\n"
                    "strSepalaterStart2=\"\"\r\n"
                    "strSepalaterEnd2=\r\n"
                    "bBackup=yes\r\n"
                    "iCode=2\r\n");
    AllSettings settings;
    settings.general.bSpace = false;
    settings.filePage.strSepalaterStart2 = "keep";
    LoadAllSettings(path, settings);

    EXPECT_EQ(settings.general.colFore, MakeColorRef(255, 0, 0));
    EXPECT_EQ(settings.general.colBack, 0u) << "a colour without '#' reads as black";
    EXPECT_EQ(settings.general.iMargin, 150);
    EXPECT_TRUE(settings.general.bSpace);
    EXPECT_EQ(settings.filePage.strSepalaterStart1, std::string(511, 'x'));
    EXPECT_EQ(settings.filePage.strSepalaterStart2, "keep") << "\"\" reads as empty";
    EXPECT_EQ(settings.filePage.strSepalaterEnd2, "<dt>") << "empty values change nothing";
    EXPECT_FALSE(settings.filePage.bBackup);
    EXPECT_EQ(settings.filePage.iCode, 2);
    EXPECT_EQ(settings.folderPage, FolderPageSettings{}) << "a missing section changes nothing";

    AllSettings untouched;
    LoadAllSettings(dir / "missing.ini", untouched);
    EXPECT_EQ(untouched, AllSettings{});

    WriteFile(path, "[General]\r\niMargin=12px\r\n");
    LoadAllSettings(path, untouched);
    EXPECT_EQ(untouched.general.iMargin, 12);
}

TEST(SettingsFileTest, RoundTripKeepsEveryValue) {
    TempDir dir;
    const stdfs::path path = dir / "\xE8\xA8\xAD\xE5\xAE\x9A.ini";  // a Japanese file name
    AllSettings saved;
    saved.general = {MakeColorRef(0x12, 0x34, 0x56), MakeColorRef(0xAB, 0xCD, 0xEF), 100, false};
    saved.filePage.strSepalaterStart2 = "\x81\x79" "AA" "\x81\x7A";  // in full-width brackets
    saved.filePage.strSepalaterEnd1 = "  padded  ";
    saved.filePage.bBackup = false;
    saved.filePage.iCode = kCodeEuc;
    saved.folderPage.strFileFilter = "*.html";
    saved.folderPage.bSubFolder = false;
    saved.folderPage.common.strSepalaterStart3 = "<pre class='aa'>";
    ASSERT_TRUE(SaveAllSettings(path, saved));

    AllSettings loaded;
    LoadAllSettings(path, loaded);
    EXPECT_EQ(loaded, saved);
}

TEST(ProfileTest, ReadFindsKeysTheWayIniFilesAreWritten) {
    TempDir dir;
    const stdfs::path path = dir / "read.ini";
    WriteFile(path,
              "top=before any section\r\n"
              "[Sect]\r\n"
              "  Key  =  spaced value  \r\n"
              "dq=\"quoted\"\r\n"
              "sq='single'\r\n"
              "mixed=\"a'\r\n"
              "pair=\"\"\r\n"
              "one=\"\r\n"
              "empty=\r\n"
              "dup=first\r\n"
              "dup=second\n"
              "[Other]\r\n"
              "only=other\r\n"
              "[SECT]\r\n"
              "late=in a second copy\r\n");
    auto read = [&](const char* section, const char* key) {
        return ReadProfileValue(path, section, key, "default");
    };
    EXPECT_EQ(read("sect", "KEY"), "spaced value");
    EXPECT_EQ(read("Sect", "dq"), "quoted");
    EXPECT_EQ(read("Sect", "sq"), "single");
    EXPECT_EQ(read("Sect", "mixed"), "\"a'");
    EXPECT_EQ(read("Sect", "pair"), "");
    EXPECT_EQ(read("Sect", "one"), "\"");
    EXPECT_EQ(read("Sect", "empty"), "");
    EXPECT_EQ(read("Sect", "dup"), "first");
    EXPECT_EQ(read("Sect", "top"), "default");
    EXPECT_EQ(read("Sect", "only"), "default");
    EXPECT_EQ(read("Sect", "late"), "default") << "only the first section of a name counts";
    EXPECT_EQ(read("Sect", "missing"), "default");
    EXPECT_EQ(ReadProfileValue(dir / "none.ini", "Sect", "dq", "default"), "default");
}

TEST(ProfileTest, WriteAddsLinesWhereTheyBelong) {
    TempDir dir;
    const stdfs::path path = dir / "write.ini";
    WriteFile(path, "[A]\r\nx=1\r\n; note\r\n\r\n\r\n[E]\r\n\r\n[B]\r\ny=2");
    stdfs::permissions(path, stdfs::perms(0640));

    ASSERT_TRUE(WriteProfileValue(path, "a", "new", "v"));
    ASSERT_TRUE(WriteProfileValue(path, "B", "z", "3"));
    ASSERT_TRUE(WriteProfileValue(path, "E", "e", "5"));
    ASSERT_TRUE(WriteProfileValue(path, "C", "multi", "one\r\ntwo\nthree\rfour"));
    EXPECT_EQ(ReadFile(path),
              "[A]\r\nx=1\r\n; note\r\nnew=v\r\n\r\n\r\n[E]\r\ne=5\r\n\r\n[B]\r\ny=2\r\nz=3\r\n"
              "[C]\r\nmulti=one two three four\r\n");
    EXPECT_EQ(stdfs::status(path).permissions(), stdfs::perms(0640));
    EXPECT_EQ(stdfs::directory_iterator(dir.path())->path(), path) << "no temporary file left";
}

TEST(ProfileTest, FailedWritesReportAndLeaveFilesAlone) {
    TempDir dir;
    const stdfs::path nowhere = dir / "no-such-folder" / "x.ini";
    ProfileWriteResult result = WriteProfileValue(nowhere, "A", "k", "v");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find(nowhere.string()), std::string::npos) << result.message;
    EXPECT_FALSE(stdfs::exists(nowhere.parent_path()));

    const stdfs::path path = dir / "keep.ini";
    WriteFile(path, "[A]\r\nk=old\r\n");
    EXPECT_FALSE(WriteProfileValue(path, "A", "k=", "v").ok);
    EXPECT_FALSE(WriteProfileValue(path, "A]", "k", "v").ok);
    EXPECT_FALSE(WriteProfileValue(path, " A", "k", "v").ok);
    // A lead byte last would take the closing ']' as its second byte: the section
    // could never be found again, and its key would fall into the section above.
    EXPECT_FALSE(WriteProfileValue(path, "A\x81", "k", "v").ok);

    stdfs::permissions(path, stdfs::perms(0444));
    result = WriteProfileValue(path, "A", "k", "new");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("read-only"), std::string::npos) << result.message;
    EXPECT_EQ(ReadFile(path), "[A]\r\nk=old\r\n");
}

TEST(ProfileTest, ValueEncodings) {
    EXPECT_EQ(ColorToProfile(MakeColorRef(255, 0, 0)), "#0000FF");
    EXPECT_EQ(ColorToProfile(MakeColorRef(0, 0, 255)), "#FF0000");
    EXPECT_EQ(ProfileToColor("#0000ff"), MakeColorRef(255, 0, 0));
    EXPECT_EQ(ProfileToColor("#1234567"), 0x123456u) << "at most six digits";
    EXPECT_EQ(ProfileToColor("#"), 0u);
    EXPECT_EQ(ProfileToColor("#g1"), 0u);
    EXPECT_EQ(ProfileToColor(" #FFFFFF"), 0u);

    EXPECT_EQ(ProfileToInt(" \t-12px"), -12);
    EXPECT_EQ(ProfileToInt("+7"), 7);
    EXPECT_EQ(ProfileToInt("abc"), 0);
    EXPECT_EQ(ProfileToInt("- 5"), 0);
    EXPECT_EQ(ProfileToInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ProfileToInt("-2147483648"), INT_MIN);
    EXPECT_EQ(IntToProfile(-5), "-5");

    EXPECT_TRUE(ProfileToBool("\ttrue "));
    EXPECT_FALSE(ProfileToBool("1"));
    EXPECT_FALSE(ProfileToBool("TRUEX"));

    EXPECT_EQ(UnquoteProfileString("\"\""), "");
    EXPECT_EQ(UnquoteProfileString("x\"a\"y"), "a");
    EXPECT_EQ(UnquoteProfileString("\"a\"b\"c\""), "a\"b\"c");
    EXPECT_EQ(UnquoteProfileString("one \" quote"), "one \" quote");
    EXPECT_EQ(UnquoteProfileString(QuoteProfileString("<dd>")), "<dd>");
}

}  // namespace
}  // namespace quarvel
