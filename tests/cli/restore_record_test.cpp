// restore takes back only what a conversion made, from a copy that leads to the
// document, one conversion at a time: quarvel-cli run end to end on real files.

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_process.h"
#include "support/test_support.h"

namespace quarvel {
namespace {

using test::Cli;

namespace stdfs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kText = "<dd>one\r\n<dd>two\r\n<dd>three\r\n";

// Every file under the folder with its bytes: what "nothing changed" compares.
std::vector<std::pair<std::string, std::string>> Contents(const stdfs::path& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& entry : test::TreeOf(folder))
        files.emplace_back(entry, entry.ends_with('/') ? std::string() : ReadFile(folder / entry));
    return files;
}

std::set<std::string> Pictures(const stdfs::path& folder) {
    std::set<std::string> names;
    if (!stdfs::is_directory(folder)) return names;
    for (const auto& entry : stdfs::directory_iterator(folder))
        if (entry.path().extension() == ".png") names.insert(entry.path().filename().string());
    return names;
}

// What is done to a converted document d.htm (pictures d/001.png to 003.png, its copy
// backup/d.htm) before restore, and what restore must make of it: the exit status, a
// text it says, and, when it puts the document back, the pictures left in d/ (none
// when nothing is to change at all).
struct Case {
    const char* name;
    std::function<void(const stdfs::path& dir)> change;
    std::vector<std::string> options;
    int exit;
    const char* said;
    std::set<std::string> picturesLeft;
};

const std::string kEdit = "<p><img src=\"./d/500.png\"></p>\r\n";
void Edit(const stdfs::path& dir) {
    WriteFile(dir / "d.htm", ReadFile(dir / "d.htm") + kEdit);
    WriteFile(dir / "d" / "500.png", "the user's own photo");
}

TEST(Restore, TakesBackOnlyWhatTheConversionMadeFromACopyThatLeadsToTheDocument) {
    const std::vector<Case> cases = {
        {"a picture retouched after the conversion is kept",
         [](const stdfs::path& dir) { WriteFile(dir / "d" / "002.png", "retouched"); },
         {},
         0,
         "1 kept",
         {"002.png"}},
        {"a copy cut to half is refused",
         [](const stdfs::path& dir) { WriteFile(dir / "backup" / "d.htm", kText.substr(0, kText.size() / 2)); },
         {},
         1,
         "backup/d.htm",
         {}},
        {"an empty copy is refused",
         [](const stdfs::path& dir) { WriteFile(dir / "backup" / "d.htm", ""); },
         {},
         1,
         "backup/d.htm",
         {}},
        {"an edit since the conversion is refused, naming the option that restores anyway", Edit, {}, 1, "--force", {}},
        {"--force keeps the edited text and every picture it names",
         Edit,
         {"--force"},
         0,
         "3 kept",
         {"001.png", "002.png", "003.png", "500.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const stdfs::path doc = dir / "d.htm";
        WriteFile(doc, kText);
        ASSERT_EQ(Cli({"convert", "-q", doc.string()}).exit_code, 0);
        ASSERT_EQ(Pictures(dir / "d"), (std::set<std::string>{"001.png", "002.png", "003.png"}));
        c.change(dir.path());
        const std::string before = ReadFile(doc);
        const auto tree = Contents(dir.path());

        std::vector<std::string> args = {"restore"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(doc.string());
        const auto r = Cli(args);
        EXPECT_EQ(r.exit_code, c.exit) << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(c.said), std::string::npos) << r.out << r.err;
        if (c.exit != 0) {
            EXPECT_EQ(Contents(dir.path()), tree) << "something changed";
            continue;
        }
        EXPECT_EQ(ReadFile(doc), kText);
        EXPECT_EQ(ReadFile(dir / "backup" / "d.htm.converted"), before);
        EXPECT_EQ(Pictures(dir / "d"), c.picturesLeft);
        if (c.picturesLeft.contains("500.png")) {
            EXPECT_EQ(ReadFile(dir / "d" / "500.png"), "the user's own photo");
        }
    }
}

// Two conversions with different separators: each restore goes one conversion back,
// down to the first copy; --original goes straight there.
TEST(Restore, StepsBackThroughEveryCopy) {
    const std::string original = "<dd>one\r\n<p>two\r\n";
    for (const bool straight : {false, true}) {
        SCOPED_TRACE(straight ? "--original" : "step by step");
        TempDir dir;
        const stdfs::path doc = dir / "d.htm";
        WriteFile(doc, original);
        ASSERT_EQ(Cli({"convert", "-q", doc.string()}).exit_code, 0);
        const std::string once = ReadFile(doc);
        ASSERT_EQ(Cli({"convert", "-q", "--start", "<p>", doc.string()}).exit_code, 0);
        ASSERT_EQ(Pictures(dir / "d"), (std::set<std::string>{"001.png", "002.png"}));
        if (straight) {
            const auto r = Cli({"restore", "--original", doc.string()});
            EXPECT_EQ(r.exit_code, 0) << r.err;
            EXPECT_NE(r.out.find("put back from backup/d.htm;"), std::string::npos) << r.out;
            EXPECT_EQ(ReadFile(doc), original);
            EXPECT_EQ(Pictures(dir / "d"), std::set<std::string>());
            continue;
        }
        auto r = Cli({"restore", doc.string()});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.out.find("put back from backup/d.htm.1;"), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(doc), once);
        EXPECT_EQ(Pictures(dir / "d"), std::set<std::string>{"001.png"});
        r = Cli({"restore", doc.string()});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.out.find("put back from backup/d.htm;"), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(doc), original);
        EXPECT_FALSE(stdfs::exists(dir / "d"));
        r = Cli({"restore", doc.string()});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.out.find("nothing to put back"), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(doc), original);
    }
    const auto help = Cli({"help", "restore"});
    EXPECT_NE(help.out.find("--original"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("DOCUMENT..."), std::string::npos) << help.out;
}

// A backup made before the record was kept: put back as before, but a picture whose
// file is newer than the converted text stays, and restore says that it found no record.
TEST(Restore, WithoutARecordKeepsPicturesNewerThanTheConvertedText) {
    TempDir dir;
    const stdfs::path doc = dir / "d.htm";
    WriteFile(doc, kText);
    ASSERT_EQ(Cli({"convert", "-q", doc.string()}).exit_code, 0);
    for (const auto& entry : stdfs::directory_iterator(dir / "backup"))
        if (entry.path().filename() != "d.htm") stdfs::remove(entry.path());
    WriteFile(dir / "d" / "002.png", "retouched");
    stdfs::last_write_time(dir / "d" / "002.png", stdfs::last_write_time(doc) + std::chrono::seconds(10));
    const auto r = Cli({"restore", doc.string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("no record"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(doc), kText);
    EXPECT_EQ(Pictures(dir / "d"), std::set<std::string>{"002.png"});
}

TEST(Restore, AFileGivenToRestoreFolderIsSaidToBeOne) {
    TempDir dir;
    WriteFile(dir / "d.htm", kText);
    const auto r = Cli({"restore-folder", (dir / "d.htm").string()});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("is a file"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace quarvel
