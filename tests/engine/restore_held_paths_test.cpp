// restore works in the folders it opened: a backup/ exchanged for a link while it
// works is never followed, whatever the link leads to.

#include <filesystem>

#include <gtest/gtest.h>

#include "engine/conversion.h"
#include "engine/restore.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel {
namespace {

namespace stdfs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(RestoreHeldPaths, ABackupFolderExchangedForALinkIsNeverFollowed) {
    TempDir dir;
    const stdfs::path doc = dir / "d.htm";
    WriteFile(doc, "<dd>one\r\n");
    test::RecordingProgress progress;
    ASSERT_EQ(engine::ConvertDocument(doc.string(), test::DefaultSettings(&progress), engine::Backup::yes).outcome,
              engine::Outcome::converted);
    const std::string converted = ReadFile(doc);
    // What the link leads to: a file that the document's owner may not read.
    stdfs::create_directory(dir / "elsewhere");
    WriteFile(dir / "elsewhere" / "d.htm", "secret");

    // The owner of the tree exchanges backup/ for the link once restore has looked into
    // it, and back once the copy has been read, as fast as a race would.
    test::HookedFileSystem files;
    int exchanges = 0;
    auto exchange = [&] {
        if (exchanges++ % 2 == 0) {
            stdfs::rename(dir / "backup", dir / "backup.real");
            stdfs::create_directory_symlink(dir / "elsewhere", dir / "backup");
        } else {
            stdfs::remove(dir / "backup");
            stdfs::rename(dir / "backup.real", dir / "backup");
        }
    };
    files.afterList = [&](const std::string& folder) {
        if (exchanges == 0 && folder.ends_with("/backup")) exchange();
    };
    files.whileReading = [&](const std::string& path) {
        if (exchanges == 1 && path.find("/backup/") != std::string::npos) exchange();
    };
    engine::RestoreDocument(doc.string(), files);
    EXPECT_EQ(exchanges, 2);
    EXPECT_NE(ReadFile(doc), "secret");
    EXPECT_TRUE(ReadFile(doc) == "<dd>one\r\n" || ReadFile(doc) == converted);
    EXPECT_EQ(test::TreeOf(dir / "elsewhere"), std::vector<std::string>{"d.htm"});
    EXPECT_EQ(ReadFile(dir / "elsewhere" / "d.htm"), "secret");
}

}  // namespace
}  // namespace quarvel
