// What a conversion of one document never loses: killed or aborted runs, failures, edits by
// another program meanwhile, temporary files and files that are not its own.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <random>

#include <gtest/gtest.h>

#include "document_test.h"
#include "engine/code_convert.h"
#include "engine/conversion.h"
#include "engine/image_tags.h"
#include "engine/naming_note.h"
#include "platform/codec.h"
#include "render/references.h"
#include "render/renderer.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {

using render::Appearance;
using render::RenderPicture;

using platform::IsLeadByte;
using platform::Picture;

namespace {

using test::DefaultSettings;
using test::ReadFile;
using test::RecordingProgress;
using test::Sjis;
using test::TempDir;
using test::WriteFile;

// A run killed after its pictures took their names and before its document was
// replaced leaves them and its note; the next run of the document, still as it was,
// removes exactly those files and numbers from 001 again. Only the files the note names
// by their identity go, and only while the document is the one it names.
TEST_F(DocumentTest, PicturesOfAKilledRunGoWithTheNextRun) {
    namespace fs = platform::fs;
    struct Case {
        const char* name;
        bool documentChanged;           // edited since the killed run
        bool secondReplaced;            // 002.png exchanged for another file since
        const char* tags;               // the numbers the next run gives
        std::vector<const char*> kept;  // of the killed run's files
    };
    const Case cases[] = {
        {"as the killed run left it", false, false, "001 002", {}},
        {"a file put in a picture's place", false, true, "001 003", {"002.png"}},
        {"the document edited since", true, false, "003 004", {"001.png", "002.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir here;
        const std::filesystem::path doc = here / "k.htm", images = here / "k";
        WriteFile(doc, "<dd>a\r\n<dd>b\r\n");
        fs::FileBytes bytes;
        Result<fs::FileInfo> read = fs::RealFileSystem().ReadFileBytes(doc.string(), bytes);
        ASSERT_TRUE(read.ok());
        std::filesystem::create_directory(images);
        std::string lines;
        for (const char* name : {"001.png", "002.png"}) {
            WriteFile(images / name, "killed run's picture");
            Result<fs::FileInfo> picture = fs::RealFileSystem().ReadFileBytes((images / name).string(), bytes);
            ASSERT_TRUE(picture.ok());
            lines += NamingNoteLine((images / name).string(), *picture);
        }
        ASSERT_TRUE(WriteNamingNote(fs::RealFileSystem(), images.string(), *read, lines).ok());
        if (c.secondReplaced) {
            std::filesystem::remove(images / "002.png");
            WriteFile(images / "002.png", "the user's own");
        }
        if (c.documentChanged) WriteFile(doc, "<dd>a\r\n<dd>b\r\n<p>edited");

        result = ConvertDocument(doc.string(), settings);
        const std::string numbers = c.tags;
        EXPECT_EQ(ReadFile(doc), "<dd><img src=\"./k/" + numbers.substr(0, 3) + ".png\">\r\n<dd><img src=\"./k/" +
                                     numbers.substr(4) + ".png\">\r\n" + (c.documentChanged ? "<p>edited" : ""));
        EXPECT_FALSE(std::filesystem::exists(images / std::string(kNamingNoteName)));
        std::vector<std::string> left;  // the files that are not this run's pictures
        for (const auto& entry : std::filesystem::directory_iterator(images))
            if (!ReadFile(entry.path()).starts_with("\x89PNG")) left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, std::vector<std::string>(c.kept.begin(), c.kept.end()));
    }
}

TEST_F(DocumentTest, AbortLeavesTheDocumentAsItWas) {
    std::string before;
    for (int i = 0; i < 40; ++i) before += "<dt>" + std::to_string(i) + "<dd>art " + std::to_string(i) + "\r\n";
    std::mt19937 random(20240501);
    for (int round = 0; round < 3; ++round) {
        progress.abortRequested = false;
        progress.abortAtText = 1 + static_cast<int>(random() % 40);
        progress.texts.clear();
        EXPECT_EQ(Convert("abort.htm", before), before);
        EXPECT_EQ(result.outcome, Outcome::aborted);
        EXPECT_TRUE(progress.messages.empty());
    }
}

TEST_F(DocumentTest, FailuresAreShownAndReturned) {
    // Read-only document: it does not change, and the pictures made for it go again
    // with the image folder this run made.
    WriteFile(dir / "ro.htm", "<dd>a");
    std::filesystem::permissions(dir / "ro.htm", std::filesystem::perms::owner_read);
    result = ConvertDocument((dir / "ro.htm").string(), settings);
    EXPECT_EQ(ReadFile(dir / "ro.htm"), "<dd>a");
    EXPECT_FALSE(std::filesystem::exists(dir / "ro"));
    EXPECT_EQ(result.outcome, Outcome::failed);
    ASSERT_EQ(progress.messages.size(), 1u);
    EXPECT_EQ(progress.messages[0], (dir / "ro.htm").string() + "\ncould not write the file\nPermission denied");
    // Nor is a copy made of a document that will not be rewritten.
    result = ConvertDocument((dir / "ro.htm").string(), settings, Backup::yes);
    EXPECT_FALSE(std::filesystem::exists(dir / "backup"));

    // The image folder's name is taken by a file.
    WriteFile(dir / "img", "x");
    EXPECT_EQ(Convert("img.htm", "<dd>a"), "<dd>a");
    EXPECT_EQ(progress.messages.back(), (dir / "img").string() + "\ncould not make the folder\nFile exists");
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->path, (dir / "img").string());

    // One message with the reason, and nothing made.
    result = ConvertDocument((dir / "none.htm").string(), settings);
    EXPECT_EQ(progress.messages.back(),
              (dir / "none.htm").string() + "\ncould not open the file\nNo such file or directory");
    EXPECT_EQ(result.outcome, Outcome::failed);
    EXPECT_FALSE(std::filesystem::exists(dir / "none"));

    // A base name that is no name of a folder of its own: empty (no period), "." or
    // "..". The pictures would go into the document's own folder, shared with every
    // other such document, or into the folder above it, over files there.
    std::filesystem::create_directory(dir / "tree");
    for (const char* name : {"README", "NOTES", ".htm", "..htm", "...htm"}) {
        SCOPED_TRACE(name);
        const std::string path = (dir / "tree" / name).string();
        EXPECT_EQ(Convert(std::string("tree/") + name, "<dd>a\r\n"), "<dd>a\r\n");
        EXPECT_EQ(result.outcome, Outcome::failed);
        EXPECT_EQ(progress.messages.back(),
                  path + "\ncould not make the folder\nthe document's name gives no name for its image folder");
    }
    EXPECT_EQ(test::TreeOf(dir / "tree"), (std::vector<std::string>{"...htm", "..htm", ".htm", "NOTES", "README"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "001.png"));
    // "...." is a plain name.
    EXPECT_EQ(Convert("tree/....htm", "<dd>a"), "<dd><img src=\"./.../001.png\">");
    EXPECT_TRUE(std::filesystem::exists(dir / "tree/.../001.png"));
}

TEST_F(DocumentTest, APictureThatCannotBeWrittenKeepsTheArt) {
    // A stretch is replaced by its tag only with its picture in place: otherwise the
    // document is not rewritten and the message names the picture and why.
    test::HookedFileSystem hooked;
    settings.fileSystem = &hooked;
    const std::string before = "<dd>a\r\n<dd>b\r\n<dd>c";
    struct Case {
        const char* failing;  // the picture whose write fails
        int error;
        const char* reason;
    };
    for (const Case& c : {Case{"001.png", ENOSPC, "could not write the file\nNo space left on device"},
                          Case{"002.png", EIO, "could not write the file\nInput/output error"}}) {
        std::filesystem::remove_all(dir / "p");
        progress.messages.clear();
        hooked.failWrite = [&](const std::string& path) { return path.ends_with(c.failing) ? c.error : 0; };
        EXPECT_EQ(Convert("p.htm", before), before) << c.failing;
        EXPECT_EQ(result.outcome, Outcome::failed);
        ASSERT_EQ(progress.messages.size(), 1u);
        EXPECT_EQ(progress.messages[0], (dir / "p" / c.failing).string() + "\n" + Sjis(c.reason));
        // Nor the pictures before it: without the document they would be strays.
        EXPECT_FALSE(std::filesystem::exists(dir / "p")) << c.failing;
    }

    // A real failure: the file-size limit lets the first picture through but not the
    // second, wide one. No picture of 0 bytes, no temporary file.
    settings.fileSystem = nullptr;
    std::string wide;
    for (int line = 0; line < 50; ++line) wide += std::string(60, "AW@#"[line % 4]) + "<br>";
    const std::string limited = "<dd>a\r\n<dd>" + wide + "\r\n";
    WriteFile(dir / "q.htm", limited);
    {
        test::FileSizeLimit limit(2000);
        result = ConvertDocument((dir / "q.htm").string(), settings);
    }
    EXPECT_EQ(ReadFile(dir / "q.htm"), limited);
    EXPECT_EQ(progress.messages.back(), (dir / "q/002.png").string() + "\ncould not write the file\nFile too large");
    EXPECT_FALSE(std::filesystem::exists(dir / "q"));

    // An image folder that was there keeps what it held; only this run's pictures go.
    std::filesystem::create_directory(dir / "r");
    WriteFile(dir / "r/keep.png", "earlier");
    settings.fileSystem = &hooked;
    hooked.failWrite = [](const std::string& path) { return path.ends_with("/r/003.png") ? EIO : 0; };
    EXPECT_EQ(Convert("r.htm", before), before);
    EXPECT_EQ(test::TreeOf(dir / "r"), std::vector<std::string>{"keep.png"});
}

TEST_F(DocumentTest, AnEditByAnotherProgramMeanwhileIsKept) {
    test::HookedFileSystem hooked;
    settings.fileSystem = &hooked;
    const std::string path = (dir / "e.htm").string();
    struct Edit {
        const char* name;
        std::function<void()> apply;  // while the pictures are written
        const char* after;
    };
    const Edit edits[] = {
        {"rewritten in place", [&] { WriteFile(path, "<dd>a\r\nedited"); }, "<dd>a\r\nedited"},
        {"renamed over",
         [&] {
             WriteFile(dir / "new", "edited elsewhere");
             std::filesystem::rename(dir / "new", path);
         },
         "edited elsewhere"},
    };
    for (const Edit& edit : edits) {
        WriteFile(path, "<dd>a\r\n");
        hooked.beforeWrite = [&](const std::string& written) {
            if (written.ends_with("001.png")) edit.apply();
        };
        result = ConvertDocument(path, settings, Backup::yes);
        EXPECT_EQ(result.outcome, Outcome::failed) << edit.name;
        EXPECT_EQ(ReadFile(path), edit.after) << edit.name;
        EXPECT_EQ(progress.messages.back(), path + "\nchanged by another program during the conversion, so not written")
            << edit.name;
        EXPECT_FALSE(std::filesystem::exists(dir / "e")) << edit.name;  // no stray pictures
    }
    // A document that is not rewritten gets no copy.
    EXPECT_FALSE(std::filesystem::exists(dir / "backup/e.htm"));
}

// Writes `bytes` over the start of the file in place, as `dd conv=notrunc` does, and
// sets its modification time back: only the status change time tells of the edit.
void EditInPlaceUnseen(const std::string& path, const std::string& bytes) {
    struct stat before;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
}

TEST_F(DocumentTest, AnEditWhileTheDocumentIsReadIsNeverLost) {
    test::HookedFileSystem hooked;
    settings.fileSystem = &hooked;
    const std::string original = "<dd>a\r\n<dd>b\r\n";
    const std::string edited = "<dd>c\r\n<dd>b\r\n";

    // Edited once, during the first read: the document is read again, and its edit is
    // what is converted and what the backup keeps.
    const std::string once = (dir / "once.htm").string();
    WriteFile(once, original);
    int reads = 0;
    hooked.whileReading = [&](const std::string& path) {
        if (path == once && reads++ == 0) EditInPlaceUnseen(once, edited);
    };
    result = ConvertDocument(once, settings, Backup::yes);
    EXPECT_EQ(result.outcome, Outcome::converted);
    EXPECT_GE(reads, 2);
    EXPECT_EQ(ReadFile(once), "<dd><img src=\"./once/001.png\">\r\n<dd><img src=\"./once/002.png\">\r\n");
    EXPECT_EQ(ReadFile(dir / "backup/once.htm"), edited);
    ExpectPictureOf(dir / "once/001.png", "c");

    // Edited on every read: given up with the message, and nothing is made.
    const std::string busy = (dir / "busy.htm").string();
    WriteFile(busy, original);
    bool flip = false;
    hooked.whileReading = [&](const std::string&) { EditInPlaceUnseen(busy, (flip = !flip) ? edited : original); };
    result = ConvertDocument(busy, settings, Backup::yes);
    EXPECT_EQ(result.outcome, Outcome::failed);
    EXPECT_EQ(progress.messages.back(), busy + "\nchanged by another program during the conversion, so not written");
    EXPECT_EQ(ReadFile(busy), flip ? edited : original);
    EXPECT_FALSE(std::filesystem::exists(dir / "busy"));
    EXPECT_FALSE(std::filesystem::exists(dir / "backup/busy.htm"));
}

TEST_F(DocumentTest, OwnTagsOfAnyLength) {
    // Picture numbers go past 999,999,999: their tags are still this program's own,
    // and new stretches number on after them.
    const std::string converted = "<dd><img src=\"./t/1000000000.png\">\r\n<dd><img src=\"./t/999.png\">\r\n";
    EXPECT_EQ(Convert("t.htm", converted + "<dd>new\r\n"), converted + "<dd><img src=\"./t/1000000001.png\">\r\n");
    EXPECT_EQ(result.kept, 2);
    EXPECT_EQ(result.pictures, 1);
    // Leading zeros beyond three digits are not this program's.
    const std::string foreign = "<dd><img src=\"./u/01000.png\">";
    Convert("u.htm", foreign);
    EXPECT_EQ(result.kept, 0);
    EXPECT_EQ(result.pictures, 1);
    // Numbers of any length are; past the last number a new stretch cannot be
    // numbered, and the document stays as it is.
    for (const std::string& highest :
         {std::string("999999999999999999"), std::string("1000000000000000000"), std::string(40, '7')}) {
        SCOPED_TRACE(highest.size());
        const std::string full = "<dd><img src=\"./v/" + highest + ".png\">\r\n";
        EXPECT_EQ(Convert("v.htm", full), full);
        EXPECT_EQ(result.kept, 1);
        EXPECT_EQ(result.pictures, 0);
        EXPECT_EQ(Convert("v.htm", full + "<dd>new"), full + "<dd>new");
        EXPECT_EQ(result.outcome, Outcome::failed);
        EXPECT_EQ(progress.messages.back(), (dir / "v.htm").string() + "\nno picture number is left");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "v"));
}

TEST_F(DocumentTest, StaleTemporaryFilesOfTheDocumentAreRemoved) {
    // Left by runs killed while writing the document, its backup copy or a picture;
    // another document's and a running writer's (which holds its lock) stay.
    for (const char* folder : {"backup", "t"}) std::filesystem::create_directory(dir / folder);
    for (const char* stale : {".t.htm.quarvel-AAAAAAAAAAAAAAAA", "backup/.t.htm.quarvel-BBBBBBBBBBBBBBBB",
                              "t/.001.png.quarvel-CCCCCCCCCCCCCCCC", ".u.htm.quarvel-DDDDDDDDDDDDDDDD",
                              "backup/.u.htm.quarvel-EEEEEEEEEEEEEEEE", ".t.htm.quarvel-LIVE00LIVE00LIVE"})
        WriteFile(dir / stale, "partial");
    const int live = ::open((dir / ".t.htm.quarvel-LIVE00LIVE00LIVE").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);
    // Only a conversion that changes the document looks for them.
    WriteFile(dir / "t.htm", "<dd>a\r\n");
    result = ConvertDocument((dir / "t.htm").string(), settings, Backup::yes);
    EXPECT_EQ(result.outcome, Outcome::converted);
    ::close(live);
    EXPECT_EQ(test::TreeOf(dir.path()),
              (std::vector<std::string>{".t.htm.quarvel-LIVE00LIVE00LIVE", ".u.htm.quarvel-DDDDDDDDDDDDDDDD", "backup/",
                                        "backup/.u.htm.quarvel-EEEEEEEEEEEEEEEE", "backup/t.htm", "backup/t.htm.record",
                                        "t.htm", "t/", "t/001.png"}));
}

// A file in the image folder that this run did not make is never replaced nor removed:
// a user's own picture, another document's, one that another program puts there during
// the run, and a file put where the image folder was.
TEST_F(DocumentTest, FilesThatAreNotThisRunsAreNeverReplacedOrRemoved) {
    test::HookedFileSystem hooked;
    settings.fileSystem = &hooked;
    struct Case {
        const char* name;
        const char* path;                                         // of the document
        std::vector<std::pair<const char*, const char*>> before;  // files there before the run
        const char* document;
        std::function<void(const std::string&)> beforeWrite;    // another program meanwhile
        const char* after;                                      // the document afterwards; null: as it was
        std::vector<std::pair<const char*, const char*>> kept;  // files that must hold what they held
    };
    const std::string root = dir.path().string();
    const Case cases[] = {
        {"a picture of the user's own",
         "f.htm",
         {{"f/001.png", "my photo"}},
         "<dd>art\r\n",
         nullptr,
         "<dd><img src=\"./f/002.png\">\r\n",
         {{"f/001.png", "my photo"}}},
        {"another document's picture",
         "thread.htm_old",
         {{"thread/001.png", "thread.htm's"}, {"thread/003.png", "3"}},
         "<dd>a\r\n<dd>b\r\n<dd>c\r\n",
         nullptr,
         "<dd><img src=\"./thread/002.png\">\r\n<dd><img src=\"./thread/004.png\">\r\n"
         "<dd><img src=\"./thread/005.png\">\r\n",
         {{"thread/001.png", "thread.htm's"}, {"thread/003.png", "3"}}},
        {"a picture another program writes meanwhile",
         "g.htm",
         {},
         "<dd>a\r\n<dd>b\r\n",
         [&](const std::string& path) {
             if (path.ends_with("/g/002.png")) WriteFile(root + "/g/002.png", "other");
         },
         nullptr,
         {{"g/002.png", "other"}}},
        {"a file put where the image folder was",
         "h.htm",
         {},
         "<dd>a\r\n<dd>b\r\n<dd>c\r\n",
         [&](const std::string& path) {
             if (!path.ends_with("/h/003.png")) return;
             std::filesystem::rename(root + "/h", root + "/h.moved");
             WriteFile(root + "/h", "plain");
             hooked.failWrite = [](const std::string&) { return EIO; };
         },
         nullptr,
         {{"h", "plain"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.path());
        std::filesystem::create_directories(dir.path());
        for (const auto& [file, bytes] : c.before) {
            std::filesystem::create_directories((dir / file).parent_path());
            WriteFile(dir / file, bytes);
        }
        hooked.failWrite = [](const std::string&) { return 0; };
        hooked.beforeWrite = c.beforeWrite ? c.beforeWrite : [](const std::string&) {};
        const std::string after = Convert(c.path, c.document);
        EXPECT_EQ(after, c.after ? c.after : c.document);
        EXPECT_EQ(result.outcome, c.after ? Outcome::converted : Outcome::failed);
        for (const auto& [file, bytes] : c.kept) EXPECT_EQ(ReadFile(dir / file), bytes) << file;
    }
    // The folder the run made, moved away meanwhile, is left empty; the pictures that
    // went into it went again.
    EXPECT_EQ(test::TreeOf(dir / "h.moved"), std::vector<std::string>{});
}

// Root converting a document of another user: what is made for it is that user's, and
// no more open than the document.
TEST_F(DocumentTest, WhatIsMadeForADocumentIsItsOwners) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    constexpr uid_t kUser = 4321;
    constexpr gid_t kGroup = 4322;
    WriteFile(dir / "private.htm", "<dd>a\r\n");
    ASSERT_EQ(::chown((dir / "private.htm").c_str(), kUser, kGroup), 0);
    ASSERT_EQ(::chmod((dir / "private.htm").c_str(), 0600), 0);
    result = ConvertDocument((dir / "private.htm").string(), settings, Backup::yes);
    ASSERT_EQ(result.outcome, Outcome::converted);
    for (const auto& [made, mode] :
         {std::pair{"private.htm", 0600u}, std::pair{"backup", 0700u}, std::pair{"backup/private.htm", 0600u},
          std::pair{"private", 0700u}, std::pair{"private/001.png", 0600u}}) {
        struct stat st;
        ASSERT_EQ(::stat((dir / made).c_str(), &st), 0) << made;
        EXPECT_EQ(st.st_uid, kUser) << made;
        EXPECT_EQ(st.st_gid, kGroup) << made;
        EXPECT_EQ(st.st_mode & 07777, mode) << made;
    }
}

}  // namespace
}  // namespace quarvel::engine
