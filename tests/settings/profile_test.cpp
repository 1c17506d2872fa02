// Reading and writing single keys of INI files.

#include "settings/profile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>

#include "support/settings_test_support.h"
#include "support/test_support.h"

namespace quarvel::settings {

using platform::Color;
using platform::kBlack;

namespace {

namespace stdfs = std::filesystem;
using test::ReadProfileValue;
using test::WriteProfileValue;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

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
    auto read = [&](const char* section, const char* key) { return ReadProfileValue(path, section, key, "default"); };
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
    Result<void> result = WriteProfileValue(nowhere, "A", "k", "v");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.failure().path, nowhere.string());
    EXPECT_EQ(result.failure().error, ENOENT);
    EXPECT_FALSE(stdfs::exists(nowhere.parent_path()));

    const stdfs::path path = dir / "keep.ini";
    WriteFile(path, "[A]\r\nk=old\r\n");
    // A name the file cannot hold is a failure of its own kind, named in it. A lead
    // byte last would take the closing ']' as its second byte: the section could never
    // be found again, and its key would fall into the section above.
    for (auto [section, key, named] : {std::tuple{"A", "k=", "key name \"k=\""},
                                       {"A]", "k", "section name \"A]\""},
                                       {" A", "k", "section name \" A\""},
                                       {"A\x81", "k", "section name \"A\x81\""}}) {
        result = WriteProfileValue(path, section, key, "v");
        EXPECT_EQ(test::WhatFailed(result), Failure::What::badSettingsName) << section << " " << key;
        if (!result) {
            EXPECT_NE(result.failure().detail.find(named), std::string::npos) << result.failure().detail;
        }
    }
    EXPECT_EQ(ReadFile(path), "[A]\r\nk=old\r\n");

    stdfs::permissions(path, stdfs::perms(0444));
    result = WriteProfileValue(path, "A", "k", "new");
    EXPECT_EQ(test::WhatFailed(result), Failure::What::readOnly);
    EXPECT_EQ(ReadFile(path), "[A]\r\nk=old\r\n");
}

TEST(ProfileTest, ValueEncodings) {
    EXPECT_EQ(ColorToProfile(Color{255, 0, 0}), "#0000FF");
    EXPECT_EQ(ColorToProfile(Color{0, 0, 255}), "#FF0000");
    EXPECT_EQ(ProfileToColor("#0000ff"), (Color{255, 0, 0}));
    EXPECT_EQ(ProfileToColor("#1234567"), (Color{0x56, 0x34, 0x12})) << "at most six digits";
    EXPECT_EQ(ProfileToColor("#"), kBlack);
    EXPECT_EQ(ProfileToColor("#g1"), kBlack);
    EXPECT_EQ(ProfileToColor(" #FFFFFF"), kBlack);

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
}  // namespace quarvel::settings
