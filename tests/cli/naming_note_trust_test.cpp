// The note a killed run leaves in an image folder (.quarvel.naming) is honoured only
// where this program could have written it, and only for files of the note's owner;
// the pictures it names are looked at, never read: quarvel-cli run end to end.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_process.h"
#include "support/test_support.h"

namespace quarvel {
namespace {

namespace stdfs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Under a limit of its address space (a file read whole would not fit), with one malloc arena.
const std::vector<std::string> kOneArena = {"MALLOC_ARENA_MAX=1"};

const std::string kText = "<dd>one\r\n<dd>two\r\n<dd>three\r\n";

// "DEV INO SIZE MTIME-S MTIME-NS": a file as the note names it.
std::string Identity(const stdfs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return std::to_string(st.st_dev) + ' ' + std::to_string(st.st_ino) + ' ' + std::to_string(st.st_size) + ' ' +
           std::to_string(st.st_mtim.tv_sec) + ' ' + std::to_string(st.st_mtim.tv_nsec);
}

// The note a run killed before d.htm was replaced would leave, naming d/001.png.
std::string NoteNaming001(const stdfs::path& dir) {
    return "document " + Identity(dir / "d.htm") + '\n' + Identity(dir / "d" / "001.png") + " 001.png\n";
}

// What becomes of the user's d/001.png that a planted note names, and of the note.
enum class Then {
    taken,     // the note is honoured: 001.png goes (the run takes its number), and the note
    kept,      // the note is read, but 001.png is not its owner's to take: only the note goes
    leftAlone  // the note is not trusted: both stay, with a warning that names the note
};

struct Case {
    const char* name;
    bool asRoot;  // needs other users' files
    std::function<void(const stdfs::path& dir)> plant;
    Then then;
};

TEST(NamingNoteTrust, ANoteIsHonouredOnlyWhereThisProgramCouldHaveWrittenIt) {
    const std::vector<Case> cases = {
        {"a note of this user's, as a killed run leaves it, removes its picture", false,
         [](const stdfs::path& dir) {
             WriteFile(dir / "d" / ".quarvel.naming", NoteNaming001(dir));
             ::chmod((dir / "d" / ".quarvel.naming").c_str(), 0644);
         },
         Then::taken},
        {"a note that others may write is left alone", false,
         [](const stdfs::path& dir) {
             WriteFile(dir / "d" / ".quarvel.naming", NoteNaming001(dir));
             ::chmod((dir / "d" / ".quarvel.naming").c_str(), 0666);
         },
         Then::leftAlone},
        {"another user's note is left alone", true,
         [](const stdfs::path& dir) {
             WriteFile(dir / "d" / ".quarvel.naming", NoteNaming001(dir));
             EXPECT_EQ(::chown((dir / "d" / ".quarvel.naming").c_str(), 4242, 4242), 0);
         },
         Then::leftAlone},
        {"the document owner's note takes none of a third user's files", true,
         [](const stdfs::path& dir) {
             EXPECT_EQ(::chown((dir / "d.htm").c_str(), 4242, 4242), 0);
             EXPECT_EQ(::chown((dir / "d" / "001.png").c_str(), 4343, 4343), 0);
             WriteFile(dir / "d" / ".quarvel.naming", NoteNaming001(dir));
             EXPECT_EQ(::chown((dir / "d" / ".quarvel.naming").c_str(), 4242, 4242), 0);
             ::chmod((dir / "d" / ".quarvel.naming").c_str(), 0644);
         },
         Then::kept},
        {"a note larger than a few hundred bytes a picture is left alone", false,
         [](const stdfs::path& dir) {
             WriteFile(dir / "d" / ".quarvel.naming", NoteNaming001(dir));
             stdfs::resize_file(dir / "d" / ".quarvel.naming", 64 << 20);
             ::chmod((dir / "d" / ".quarvel.naming").c_str(), 0644);
         },
         Then::leftAlone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.asRoot && ::geteuid() != 0) {
            std::printf("skipped without root: %s\n", c.name);
            continue;
        }
        TempDir dir;
        WriteFile(dir / "d.htm", kText);
        stdfs::create_directory(dir / "d");
        WriteFile(dir / "d" / "001.png", "a picture of the user's own");
        c.plant(dir.path());
        const std::string note = ReadFile(dir / "d" / ".quarvel.naming");
        const auto r = test::RunProcess({QUARVEL_CLI_PATH, "convert", "-q", "--no-backup", (dir / "d.htm").string()});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        const std::string converted = ReadFile(dir / "d.htm");
        EXPECT_NE(converted, kText) << "not converted";
        // The run's third picture is 003.png where it took 001.png back, else 004.png.
        EXPECT_EQ(converted.find("004.png") == std::string::npos, c.then == Then::taken) << converted;
        if (c.then != Then::taken) {
            EXPECT_TRUE(ReadFile(dir / "d" / "001.png") == "a picture of the user's own") << "001.png was taken";
        }
        if (c.then == Then::leftAlone) {
            EXPECT_TRUE(stdfs::exists(dir / "d" / ".quarvel.naming") && ReadFile(dir / "d" / ".quarvel.naming") == note)
                << "the note was not left alone";
            EXPECT_NE(r.err.find(".quarvel.naming"), std::string::npos) << r.err;
        } else {
            EXPECT_FALSE(stdfs::exists(dir / "d" / ".quarvel.naming"));
        }
    }
}

// A picture the note names is compared by its identity, never read: one of 1 GiB goes
// under a limit of the address space that reading it whole would pass.
TEST(NamingNoteTrust, ThePicturesANoteNamesAreNeverRead) {
    const std::string limit = "ulimit -v " + std::to_string(768 << 10);
    TempDir dir;
    WriteFile(dir / "small.htm", "<dd>x\r\n");
    if (test::CliUnder(limit, {"convert", "-q", "--no-backup", (dir / "small.htm").string()}, kOneArena).exit_code != 0)
        GTEST_SKIP() << "the program does not run under " << limit << " here";
    WriteFile(dir / "d.htm", kText);
    stdfs::create_directory(dir / "d");
    WriteFile(dir / "d" / "001.png", "");
    stdfs::resize_file(dir / "d" / "001.png", std::uintmax_t{1} << 30);
    WriteFile(dir / "d" / ".quarvel.naming", NoteNaming001(dir.path()));
    ::chmod((dir / "d" / ".quarvel.naming").c_str(), 0600);
    const auto r = test::CliUnder(limit, {"convert", "-q", "--no-backup", (dir / "d.htm").string()}, kOneArena);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_LT(stdfs::file_size(dir / "d" / "001.png"), 1u << 20) << "the killed run's picture is still there";
    EXPECT_FALSE(stdfs::exists(dir / "d" / ".quarvel.naming"));
}

}  // namespace
}  // namespace quarvel
