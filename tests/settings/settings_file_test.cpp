#include "settings/settings_file.h"

#include <cerrno>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/settings_test_support.h"
#include "support/test_support.h"

namespace quarvel::settings {

using engine::DocumentCode;

using render::Appearance;
using render::PngForm;

using platform::Color;
using platform::kBlack;

namespace {

namespace stdfs = std::filesystem;
using test::LoadAllSettings;
using test::SaveAllSettings;
using test::ReadFile;
using test::TempDir;
using test::WhatFailed;
using test::WriteFile;

// What a load found, in words that a failed expectation shows.
std::string Found(const Result<SettingsLoad>& load) {
    return !load ? "a failure to read" : load->settingsFile ? "a settings file" : "no settings";
}

TEST(SettingsFileTest, DefaultsWrittenFromScratchGiveTheCompleteFile) {
    TempDir dir;
    const stdfs::path path = dir / "settings.ini";
    ASSERT_TRUE(SaveAllSettings(path, AllSettings{}));
    EXPECT_EQ(ReadFile(path), test::kFreshSettingsFile);

    ASSERT_TRUE(SaveAllSettings(path, AllSettings{}));
    EXPECT_EQ(ReadFile(path), test::kFreshSettingsFile) << "a second save must change nothing";

    // Key-by-key writes in the same order give the same bytes as the one batch.
    const stdfs::path single = dir / "single.ini";
    ASSERT_TRUE(SaveCommonSettings(single, keys::kFilePage, CommonSettings{}));
    ASSERT_TRUE(SaveFolderPageSettings(single, FolderPageSettings{}));
    ASSERT_TRUE(SaveGeneralSettings(single, Appearance{}, PngForm::rgb));
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
    settings.look.textColor = Color{255, 0, 0};
    settings.look.margin = 3;
    settings.look.collapseSpaces = false;
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
    WriteFile(path,
              "[General]\r\n"
              "colFore=#ff\r\n"
              "colBack=0000FF\r\n"
              "iMargin=150\r\n"
              "bSpace= True \r\n"
              "[TargetFilePage]\r\n"
              "strSepalaterStart1=\"" +
                  long_value +
                  "\"\r\n"
                  "strSepalaterStart2=\"\"\r\n"
                  "strSepalaterEnd2=\r\n"
                  "bBackup=yes\r\n"
                  "iCode=2\r\n");
    AllSettings settings;
    settings.look.collapseSpaces = false;
    settings.filePage.startSeparators[1] = "keep";
    const Result<SettingsLoad> load = LoadAllSettings(path, settings);
    ASSERT_TRUE(load.ok());

    EXPECT_EQ(settings.look.textColor, (Color{255, 0, 0}));
    EXPECT_EQ(settings.look.backColor, kBlack) << "a colour without '#' reads as black";
    EXPECT_EQ(settings.look.margin, 150);
    EXPECT_TRUE(settings.look.collapseSpaces);
    EXPECT_EQ(settings.filePage.startSeparators[0], std::string(511, 'x'));
    EXPECT_EQ(settings.filePage.startSeparators[1], "keep") << "\"\" reads as empty";
    EXPECT_EQ(settings.filePage.endSeparators[1], "<dt>") << "empty values change nothing";
    EXPECT_FALSE(settings.filePage.backup);
    EXPECT_EQ(settings.filePage.code, static_cast<DocumentCode>(2));
    EXPECT_EQ(settings.folderPage, FolderPageSettings{}) << "a missing section changes nothing";
    // What is read but not in a form the program writes is told, with what was taken:
    // "#ff", 150 and " True " are; no '#', "yes" and a code of 2 are not.
    EXPECT_EQ(load->notUnderstood, (std::vector<ValueNotUnderstood>{{"TargetFilePage", "bBackup", "yes", "FALSE"},
                                                                    {"TargetFilePage", "iCode", "2", "0"},
                                                                    {"General", "colBack", "0000FF", "#000000"}}));

    AllSettings untouched;
    EXPECT_EQ(WhatFailed(LoadAllSettings(dir / "missing.ini", untouched)), Failure::What::notOpened);
    EXPECT_EQ(untouched, AllSettings{});

    WriteFile(path, "[General]\r\niMargin=12px\r\n[TargetFolderPage]\r\niCode=-1\r\nbSubFolder=false\r\n");
    EXPECT_EQ(LoadAllSettings(path, untouched)->notUnderstood,
              (std::vector<ValueNotUnderstood>{{"General", "iMargin", "12px", "12"}}))
        << "-1 is the window's own code for none";
    EXPECT_EQ(untouched.look.margin, 12);
}

// bIndexedPng, iScale and bTransparent: written when not the default, or over a key
// the file has, so that a file saved with the defaults keeps the lines it had before
// the keys existed (and an old file loads as scale 1 with an opaque background).
TEST(SettingsFileTest, IndexedPngKeyIsSavedWhenOnOrAlreadyThere) {
    TempDir dir;
    const stdfs::path path = dir / "indexed.ini";
    const std::string fresh = test::kFreshSettingsFile;
    const std::string general = "colFore=#000000\r\ncolBack=#FFFFFF\r\niMargin=0\r\nbSpace=TRUE\r\n";
    struct Case {
        const char* name;
        std::string before;  // empty: no file
        PngForm form;
        int scale;
        bool transparent;
        std::string after;
    };
    const Case cases[] = {
        {"new file, off", "", PngForm::rgb, 1, false, fresh},
        {"new file, on", "", PngForm::indexed, 1, false, fresh + "bIndexedPng=TRUE\r\n"},
        {"key there, off", fresh + "bIndexedPng=TRUE\r\n", PngForm::rgb, 1, false, fresh + "bIndexedPng=FALSE\r\n"},
        {"key in another case, on", "[general]\r\nBINDEXEDPNG = false\r\n", PngForm::indexed, 1, false,
         "[general]\r\nBINDEXEDPNG=TRUE\r\n" + general + fresh.substr(0, fresh.find("[General]"))},
        {"key in another section only, off", "[Other]\r\nbIndexedPng=TRUE\r\n", PngForm::rgb, 1, false,
         "[Other]\r\nbIndexedPng=TRUE\r\n" + fresh},
        {"new file, scale 3, transparent", "", PngForm::rgb, 3, true, fresh + "iScale=3\r\nbTransparent=TRUE\r\n"},
        {"keys there, back to the defaults", fresh + "iScale=4\r\nbTransparent=TRUE\r\n", PngForm::rgb, 1, false,
         fresh + "iScale=1\r\nbTransparent=FALSE\r\n"},
    };
    for (const Case& c : cases) {
        stdfs::remove(path);
        if (!c.before.empty()) WriteFile(path, c.before);
        AllSettings settings;
        settings.pngForm = c.form;
        settings.look.scale = c.scale;
        settings.look.transparentBack = c.transparent;
        ASSERT_TRUE(SaveAllSettings(path, settings)) << c.name;
        EXPECT_EQ(ReadFile(path), c.after) << c.name;
    }
    // Read like the other switches: only TRUE in any case is on, an empty value
    // changes nothing.
    for (const auto& [value, form] : {std::pair{" true ", PngForm::indexed}, std::pair{"1", PngForm::rgb},
                                      std::pair{"FALSE", PngForm::rgb}, std::pair{"", PngForm::indexed}}) {
        WriteFile(path, std::string("[General]\r\nbIndexedPng=") + value + "\r\nbTransparent=" + value + "\r\n");
        Appearance look;
        look.transparentBack = true;
        PngForm loaded = PngForm::indexed;
        ASSERT_TRUE(LoadGeneralSettings(path, look, loaded).ok()) << value;
        EXPECT_EQ(loaded, form) << value;
        EXPECT_EQ(look.transparentBack, form == PngForm::indexed) << value;
    }
    // A scale is always one the pictures can have: outside 1..4 the nearest end,
    // noted; an empty value or no key leaves it.
    struct ScaleCase {
        std::string line;
        int scale;
        std::vector<ValueNotUnderstood> notes;
    };
    const ScaleCase scales[] = {
        {"iScale=2", 2, {}},
        {"iScale= 4 ", 4, {}},
        {"iScale=0", 1, {{"General", "iScale", "0", "1"}}},
        {"iScale=9", 4, {{"General", "iScale", "9", "4"}}},
        {"iScale=2x", 2, {{"General", "iScale", "2x", "2"}}},
        {"iScale=", 3, {}},
        {"colFore=#000000", 3, {}},
    };
    for (const ScaleCase& c : scales) {
        WriteFile(path, "[General]\r\n" + c.line + "\r\n");
        Appearance look;
        look.scale = 3;
        PngForm form = PngForm::rgb;
        const Result<SettingsLoad> loaded = LoadGeneralSettings(path, look, form);
        ASSERT_TRUE(loaded.ok()) << c.line;
        EXPECT_EQ(look.scale, c.scale) << c.line;
        EXPECT_EQ(loaded->notUnderstood, c.notes) << c.line;
    }
}

// The codes without a number are kept by name beside iCode=0, so that every number a
// file holds keeps its meaning; the name is written over a key the file has even when
// the code has a number again.
TEST(SettingsFileTest, CodesWithoutANumberAreKeptByName) {
    TempDir dir;
    const stdfs::path path = dir / "codes.ini";
    struct Case {
        const char* lines;  // of [TargetFilePage]
        DocumentCode loaded;
    };
    for (const Case& c :
         {Case{"iCode=1", DocumentCode::eucJp}, Case{"iCode=7", static_cast<DocumentCode>(7)},
          Case{"iCode=-2", DocumentCode::shiftJis}, Case{"iCode=1\r\nstrCode=\"UTF-8\"", DocumentCode::utf8},
          Case{"iCode=0\r\nstrCode=\"auto\"", DocumentCode::automatic},
          Case{"iCode=1\r\nstrCode=\"\"", DocumentCode::eucJp},
          Case{"iCode=1\r\nstrCode=\"latin1\"", DocumentCode::eucJp}}) {
        WriteFile(path, std::string("[TargetFilePage]\r\n") + c.lines + "\r\n");
        CommonSettings loaded;
        ASSERT_TRUE(LoadCommonSettings(path, keys::kFilePage, loaded).ok()) << c.lines;
        EXPECT_EQ(loaded.code, c.loaded) << c.lines;
    }
    for (const auto& [code, written] : {std::pair{DocumentCode::automatic, "iCode=0\r\nstrCode=\"auto\""},
                                        std::pair{DocumentCode::utf8, "iCode=0\r\nstrCode=\"utf-8\""},
                                        std::pair{DocumentCode::eucJp, "iCode=1\r\nstrCode=\"\""}}) {
        AllSettings settings;
        settings.filePage.code = code;
        ASSERT_TRUE(SaveAllSettings(path, settings));
        EXPECT_NE(ReadFile(path).find(written), std::string::npos) << ReadFile(path);
        AllSettings loaded;
        ASSERT_TRUE(LoadCommonSettings(path, keys::kFilePage, loaded.filePage).ok());
        EXPECT_EQ(loaded.filePage.code, code);
    }
    // A file that never held a code by name gets none for a code with a number.
    stdfs::remove(path);
    ASSERT_TRUE(SaveAllSettings(path, AllSettings{}));
    EXPECT_EQ(ReadFile(path).find("strCode"), std::string::npos);
}

TEST(SettingsFileTest, LoadingReadsTheFileOnce) {
    TempDir dir;
    const stdfs::path path = dir / "once.ini";
    WriteFile(path, test::kFreshSettingsFile);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    // Closes too, so that no two events in a row are alike (inotify merges those).
    ASSERT_GE(inotify_add_watch(watch, path.c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
    // The folder page's keys: its own and the common ones, all from one read.
    FolderPageSettings settings;
    EXPECT_EQ(Found(LoadFolderPageSettings(path, settings)), "a settings file");
    int opens = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            opens += (event->mask & IN_OPEN) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    close(watch);
    EXPECT_EQ(opens, 1) << "one read serves every key";
}

TEST(SettingsFileTest, ByteOrderMarksAndEveryLineEndingRead) {
    TempDir dir;
    const stdfs::path path = dir / "ends.ini";
    const std::string body = "[General]\niMargin=9\n[TargetFilePage]\nstrSepalaterStart1=\"<p>\"\n";
    auto with = [&](std::string_view end) {
        std::string text = body;
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + end.size()))
            text.replace(at, 1, end);
        return text;
    };
    for (const std::string_view end : {"\r", "\n", "\r\n"}) {
        for (const std::string_view mark : {"", "\xEF\xBB\xBF"}) {
            const std::string text = std::string(mark) + with(end);
            WriteFile(path, text);
            AllSettings settings;
            EXPECT_EQ(Found(LoadAllSettings(path, settings)), "a settings file") << text;
            EXPECT_EQ(settings.look.margin, 9) << text;
            EXPECT_EQ(settings.filePage.startSeparators[0], "<p>") << text;

            // Saving keeps every line's bytes: the mark, the line ends, the values in
            // place; the keys it adds end in CR LF.
            settings.look.margin = 4;
            ASSERT_TRUE(SaveAllSettings(path, settings));
            const std::string saved = ReadFile(path);
            const std::string e(end);
            EXPECT_TRUE(
                saved.starts_with(std::string(mark) + "[General]" + e + "iMargin=4" + e + "colFore=#000000\r\n"))
                << saved;
            EXPECT_NE(
                saved.find("[TargetFilePage]" + e + "strSepalaterStart1=\"<p>\"" + e + "strSepalaterStart2=\"\"\r\n"),
                std::string::npos)
                << saved;
            AllSettings again;
            ASSERT_TRUE(LoadAllSettings(path, again).ok()) << saved;
            EXPECT_EQ(again, settings) << saved;
        }
    }
}

TEST(SettingsFileTest, FilesWithoutTheProgramsSectionsAreReported) {
    TempDir dir;
    const stdfs::path path = dir / "other.ini";
    AllSettings settings;
    settings.look.margin = 3;
    const AllSettings before = settings;
    for (const std::string& text :
         {std::string(), std::string("iMargin=50\r\n"), std::string("[Other]\r\niMargin=50\r\n"),
          std::string("\x89PNG\r\n\x1A\n\0\0", 10), std::string("[General\r\niMargin=50\r\n")}) {
        WriteFile(path, text);
        EXPECT_EQ(Found(LoadAllSettings(path, settings)), "no settings") << text;
        EXPECT_EQ(Found(LoadGeneralSettings(path, settings.look, settings.pngForm)), "no settings") << text;
        EXPECT_EQ(settings, before) << text;
    }
    EXPECT_EQ(WhatFailed(LoadAllSettings(dir / "missing.ini", settings)), Failure::What::notOpened);
    EXPECT_EQ(WhatFailed(LoadCommonSettings(dir.path(), keys::kFilePage, settings.filePage)), Failure::What::notOpened);
    // One of the three sections is enough, even when the one asked for is missing.
    WriteFile(path, "[targetfolderpage]\r\n");
    EXPECT_EQ(Found(LoadGeneralSettings(path, settings.look, settings.pngForm)), "a settings file");
    EXPECT_EQ(settings, before);
}

TEST(SettingsFileTest, RoundTripKeepsEveryValue) {
    TempDir dir;
    const stdfs::path path = dir / "\xE8\xA8\xAD\xE5\xAE\x9A.ini";  // a Japanese file name
    AllSettings saved;
    saved.look = {Color{0x12, 0x34, 0x56}, Color{0xAB, 0xCD, 0xEF}, 100, false, 4, true};
    saved.filePage.startSeparators[1] =
        "\x81\x79"
        "AA"
        "\x81\x7A";  // in full-width brackets
    saved.filePage.endSeparators[0] = "  padded  ";
    saved.filePage.backup = false;
    saved.filePage.code = DocumentCode::eucJp;
    saved.folderPage.fileFilter = "*.html";
    saved.folderPage.subFolders = false;
    saved.folderPage.common.startSeparators[2] = "<pre class='aa'>";
    saved.pngForm = PngForm::indexed;
    ASSERT_TRUE(SaveAllSettings(path, saved));

    AllSettings loaded;
    ASSERT_TRUE(LoadAllSettings(path, loaded).ok());
    EXPECT_EQ(loaded, saved);
}

}  // namespace
}  // namespace quarvel::settings
