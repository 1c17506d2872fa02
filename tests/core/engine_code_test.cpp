// Character code conversion, path helpers and the file-system layer.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "engine/code_convert.h"
#include "engine/conversion.h"
#include "engine/document_scan.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "settings/engine_settings.h"
#include "support/test_support.h"

namespace quarvel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(CodeConversion, ArithmeticMappings) {
    const std::pair<std::uint16_t, std::uint16_t> pairs[] = {
        {0x3021, 0x889F}, {0x2121, 0x8140}, {0x2160, 0x8180}, {0x5F21, 0xE040}, {0x7E7E, 0xEFFC}};
    for (auto [jis, sjis] : pairs) {
        EXPECT_EQ(JisToShiftJis(jis), sjis) << std::hex << jis;
        EXPECT_EQ(ShiftJisToJis(sjis), jis) << std::hex << sjis;
    }
    EXPECT_EQ(JisToShiftJis(0x2020), 0);
    EXPECT_EQ(JisToShiftJis(0x217F), 0);
    EXPECT_EQ(ShiftJisToJis(0xF040), 0);  // user-defined area
    EXPECT_EQ(ShiftJisToJis(0x817F), 0);  // 0x7F is no trail byte
    EXPECT_EQ(ShiftJisToJis(0xFA40), 0);  // IBM extension: beyond JIS X 0208
}

TEST(CodeConversion, WholeTexts) {
    EXPECT_EQ(EucToShiftJis(""), "");
    EXPECT_EQ(ShiftJisToEuc(""), "");
    EXPECT_EQ(EucToShiftJis("plain <dd> text"), "plain <dd> text");
    EXPECT_EQ(EucToShiftJis("\xB0\xA1"), "\x88\x9F");
    EXPECT_EQ(ShiftJisToEuc("\x88\x9F"), "\xB0\xA1");
    EXPECT_EQ(EucToShiftJis("\x8E\xB1"), "\xB1");
    EXPECT_EQ(ShiftJisToEuc("\xB1"), "\x8E\xB1");
    EXPECT_EQ(ShiftJisToEuc("\xF0\x40"), "\x80\x80");
    EXPECT_EQ(ShiftJisToEuc("a\x88"), std::string("a\x80\x80"));
    EXPECT_EQ(EucToShiftJis("a\x8E"), "a");  // a trailing single shift has nothing to shift
    // NUL is an ordinary byte both ways.
    EXPECT_EQ(EucToShiftJis(std::string("a\0\xB0\xA1z", 5)), std::string("a\0\x88\x9Fz", 5));
    EXPECT_EQ(ShiftJisToEuc(std::string("\0\xB1", 2)), std::string("\0\x8E\xB1", 3));
}

TEST(CodeConversion, BytesThatAreNotEucSurvive) {
    // A byte of 0xA1..0xFE without a partner in that range keeps itself and its partner:
    // the line feed after E0 must not be lost.
    EXPECT_EQ(EucToShiftJis("\xE0\nabc"), "\xE0\nabc");
    EXPECT_EQ(EucToShiftJis("x\xFE"), "x\xFE");
    EXPECT_EQ(EucToShiftJis(std::string("\xC0\0tail", 6)), std::string("\xC0\0tail", 6));
}

TEST(CodeConversion, SourceOffsetsFollowTheKatakana) {
    const std::string euc =
        "a\x8E\xB1"
        "b\xB0\xA1\x8E\xB2"
        "c\x8E";
    KanaPositions kana;
    const std::string sjis = EucToShiftJis(euc, &kana);
    ASSERT_EQ(sjis,
              "a\xB1"
              "b\x88\x9F\xB2"
              "c");
    EXPECT_EQ(kana.Count(), 2u);
    const std::size_t expected[] = {0, 1, 3, 4, 5, 6, 8, 10};  // sjis position -> euc position
    for (std::size_t p = 0; p <= sjis.size(); ++p)
        EXPECT_EQ(EucSourceOffset(p, sjis.size(), euc.size(), kana), p == sjis.size() ? euc.size() : expected[p]) << p;
}

TEST(CodeConversion, KanaPositionsCountAcrossWordsAndBlocks) {
    // Positions on both sides of 64-bit words and 512-position blocks, and far apart.
    const std::vector<std::size_t> marks = {0, 1, 63, 64, 65, 127, 511, 512, 513, 1000, 4095, 4096, 100000};
    KanaPositions kana;
    for (std::size_t m : marks) kana.Add(m);
    for (std::size_t pos :
         {0, 1, 2, 63, 64, 65, 66, 128, 511, 512, 513, 514, 999, 1001, 4096, 4097, 99999, 100001, 1 << 20}) {
        const auto expected =
            static_cast<std::size_t>(std::lower_bound(marks.begin(), marks.end(), pos) - marks.begin());
        EXPECT_EQ(kana.CountBefore(pos), expected) << pos;
    }
    EXPECT_EQ(KanaPositions().CountBefore(7), 0u);
}

TEST(PathHelpers, SplitAtTheLastSeparatorAndPeriod) {
    EXPECT_EQ(GetDirectoryPart("/logs/thread.htm"), "/logs");
    EXPECT_EQ(GetBaseName("/logs/thread.htm"), "thread");
    EXPECT_EQ(GetExtension("/logs/thread.htm"), "htm");
    EXPECT_EQ(GetFileNameWithExtension("/logs/thread.htm"), "thread.htm");

    EXPECT_EQ(GetDirectoryPart("thread.htm"), "");
    EXPECT_EQ(GetBaseName("thread.htm"), "thread");
    EXPECT_EQ(GetBaseName("/logs/README"), "");
    EXPECT_EQ(GetExtension("/logs/README"), "/logs/README");
    EXPECT_EQ(GetBaseName("/my.logs/thread"), "");
    EXPECT_EQ(GetBaseName("/logs/a.b.htm"), "a.b");
    // UTF-8 bytes before the separator (あ is E3 81 82, 表 is E8 A1 A8) never hide it.
    EXPECT_EQ(GetDirectoryPart("/あ/表/ソ.htm"), "/あ/表");
    EXPECT_EQ(GetBaseName("/あ/表/ソ.htm"), "ソ");

    EXPECT_EQ(SiblingPath("/logs/thread.htm", "thread"), "/logs/thread");
    EXPECT_EQ(SiblingPath("/thread.htm", "backup"), "/backup");
    EXPECT_EQ(SiblingPath("thread.htm", "thread"), "thread");  // relative, never the root

    EXPECT_EQ(ContainingFolder("/logs/thread.htm"), "/logs");
    EXPECT_EQ(ContainingFolder("/thread.htm"), "/");
    EXPECT_EQ(ContainingFolder("thread.htm"), ".");
    EXPECT_EQ(JoinPath("/logs", "a.htm"), "/logs/a.htm");
    EXPECT_EQ(JoinPath("/", "a.htm"), "/a.htm");
    // A folder as the walk takes it: trailing separators removed, the root kept.
    EXPECT_EQ(TrimTrailingSeparators("/data/logs///"), "/data/logs");
    EXPECT_EQ(TrimTrailingSeparators("/data/logs"), "/data/logs");
    EXPECT_EQ(TrimTrailingSeparators("//"), "/");
    EXPECT_EQ(TrimTrailingSeparators(""), "");
}

TEST(PathHelpers, MakeDirectoryMakesOneLevel) {
    TempDir dir;
    const std::string base = dir.path().string();
    const auto MakeDirectory = [](const std::string& path) { return fs::RealFileSystem().MakeDirectory(path).ok(); };
    EXPECT_FALSE(MakeDirectory(""));
    EXPECT_TRUE(MakeDirectory(base));
    EXPECT_TRUE(MakeDirectory(base + "/new"));
    EXPECT_TRUE(std::filesystem::is_directory(base + "/new"));
    EXPECT_FALSE(MakeDirectory(base + "/missing/child"));
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(MakeDirectory(base + "/file"));
    // A link is never taken for a folder to write in, wherever it leads.
    std::filesystem::create_directory_symlink(base + "/new", dir / "link");
    std::filesystem::create_directory_symlink(base + "/none", dir / "dangling");
    for (const char* link : {"/link", "/dangling"}) {
        const Result<bool> made = fs::RealFileSystem().MakeDirectory(base + link);
        EXPECT_EQ(test::WhatFailed(made), Failure::What::linkRefused) << link;
    }
    EXPECT_FALSE(std::filesystem::exists(base + "/none"));
    const Result<bool> onFile = fs::RealFileSystem().MakeDirectory(base + "/file");
    EXPECT_EQ(test::WhatFailed(onFile), Failure::What::folderNotMade);
    EXPECT_EQ(onFile.failure().error, EEXIST);
    // Made by this call, or there before.
    EXPECT_TRUE(*fs::RealFileSystem().MakeDirectory(base + "/newer"));
    EXPECT_FALSE(*fs::RealFileSystem().MakeDirectory(base + "/newer"));
}

TEST(FolderListing, WindowsWildcards) {
    using fs::MatchesPattern;
    EXPECT_TRUE(MatchesPattern("x.htm", "*.htm"));
    EXPECT_TRUE(MatchesPattern("X.HTM", "*.htm"));
    EXPECT_TRUE(MatchesPattern("x.html", "*.htm"));  // three-letter extensions find longer ones
    EXPECT_TRUE(MatchesPattern("a.b.html", "*.htm"));
    EXPECT_FALSE(MatchesPattern("x.htm.bak", "*.htm"));
    EXPECT_FALSE(MatchesPattern("x.ht", "*.htm"));
    EXPECT_FALSE(MatchesPattern("x.html", "*.html5"));
    EXPECT_FALSE(MatchesPattern("xhtm", "*.htm"));
    EXPECT_TRUE(MatchesPattern("README", "*.*"));
    EXPECT_TRUE(MatchesPattern("a.txt", "*"));
    EXPECT_TRUE(MatchesPattern("スレ1.htm", "??1.htm"));  // '?' is one character, not one byte
    EXPECT_FALSE(MatchesPattern("スレ1.htm", "?1.htm"));
    EXPECT_TRUE(MatchesPattern("log-2024.dat", "log-*.d?t"));
}

TEST(FolderListing, ByteOrderKindsAndLinks) {
    TempDir dir;
    WriteFile(dir / "b.htm", "");
    WriteFile(dir / "B.htm", "");
    WriteFile(dir / "a.html", "");
    WriteFile(dir / "c.txt", "");
    std::filesystem::create_directory(dir / "old.htm");
    std::filesystem::create_directory_symlink(dir / "old.htm", dir / "link.htm");
    const std::vector<fs::Entry> entries = *fs::RealFileSystem().List(dir.path().string(), "*.htm");
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"B.htm", "a.html", "b.htm", "link.htm", "old.htm"}));
    EXPECT_EQ(entries[3].kind, fs::Kind::folder);
    EXPECT_TRUE(entries[3].isLink);
    EXPECT_EQ(entries[4].kind, fs::Kind::folder);
    EXPECT_FALSE(entries[4].isLink);
    const Result<std::vector<fs::Entry>> missing = fs::RealFileSystem().List((dir / "missing").string(), "");
    EXPECT_EQ(test::WhatFailed(missing), Failure::What::folderNotRead);
    EXPECT_EQ(missing.failure().error, ENOENT);
}

TEST(FileSystem, NewFileIsCompleteOrAbsent) {
    TempDir dir;
    auto& real = fs::RealFileSystem();
    WriteFile(dir / "doc", "original");
    ::chmod((dir / "doc").c_str(), 0640);
    struct timespec times[2] = {{1000000000, 0}, {1100000000, 5000}};
    ::utimensat(AT_FDCWD, (dir / "doc").c_str(), times, 0);
    fs::FileBytes read;
    const Result<fs::FileInfo> status = real.ReadFileBytes((dir / "doc").string(), read);
    ASSERT_TRUE(status.ok());
    const fs::FileInfo& doc = *status;

    fs::WriteOptions copy;  // as a backup copy is written
    copy.existing = fs::Existing::keep;
    copy.like = &doc;
    copy.keepTimes = true;
    WriteFile(dir / "victim", "victim");
    std::filesystem::create_symlink(dir / "victim", dir / "planted");
    std::filesystem::create_directory(dir / "folder");
    struct Case {
        const char* name;
        const char* bytes;
        fs::WriteOptions options;
        std::optional<Failure::What> failed;
        const char* after;  // the file at `name` afterwards; null: not a file
    };
    using What = Failure::What;
    const Case cases[] = {
        {"copy", "original", copy, {}, "original"},
        {"copy", "newer", copy, What::exists, "original"},   // the oldest copy stays
        {"planted", "x", copy, What::notWritten, "victim"},  // a link is no copy
        {"folder", "x", copy, What::notWritten, nullptr},
        {"picture", "png", {}, {}, "png"},
        {"picture", "png 2", {}, {}, "png 2"},
        {"planted", "png", {}, {}, "png"},  // the link itself is replaced
    };
    for (const Case& c : cases) {
        const Result<void> written = real.WriteNewFile((dir / c.name).string(), c.bytes, c.options);
        EXPECT_EQ(test::WhatFailed(written), c.failed) << c.name << " " << c.bytes;
        if (c.after) {
            EXPECT_EQ(ReadFile(dir / c.name), c.after) << c.name << " " << c.bytes;
        }
    }
    EXPECT_EQ(ReadFile(dir / "victim"), "victim");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "planted"));
    struct stat st;
    ASSERT_EQ(::stat((dir / "copy").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 5000);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    {
        // A write that fails halfway leaves what was there and no temporary file.
        test::FileSizeLimit limit(4096);
        const std::string big(10000, 'x');
        for (fs::Existing existing : {fs::Existing::replace, fs::Existing::keep}) {
            fs::WriteOptions options;
            options.existing = existing;
            const Result<void> written = real.WriteNewFile((dir / "picture").string(), big, options);
            EXPECT_EQ(test::WhatFailed(written), Failure::What::notWritten);
            EXPECT_EQ(written.failure().error, EFBIG);
            const Result<void> fresh = real.WriteNewFile((dir / "fresh").string(), big, options);
            EXPECT_EQ(test::WhatFailed(fresh), Failure::What::notWritten);
        }
    }
    EXPECT_EQ(ReadFile(dir / "picture"), "png 2");
    EXPECT_EQ(test::TreeOf(dir.path()),
              (std::vector<std::string>{"copy", "doc", "folder/", "picture", "planted", "victim"}));
}

TEST(FileSystem, ReplaceOnlyTheFileThatWasRead) {
    TempDir dir;
    auto& real = fs::RealFileSystem();
    const std::string path = (dir / "doc.htm").string();
    using Edit = std::function<void()>;
    const std::pair<const char*, Edit> edits[] = {
        {"appended", [&] { std::ofstream(path, std::ios::app) << "more"; }},
        {"same size, later",
         [&] {
             WriteFile(path, "OLD!");
             struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             ::utimensat(AT_FDCWD, path.c_str(), later, 0);
         }},
        {"renamed over",
         [&] {
             WriteFile(dir / "other", "old!");
             std::filesystem::rename(dir / "other", path);
         }},
        {"removed", [&] { std::filesystem::remove(path); }},
    };
    for (const auto& [name, edit] : edits) {
        WriteFile(path, "old!");
        fs::FileBytes bytes;
        const Result<fs::FileInfo> read = real.ReadFileBytes(path, bytes);
        edit();
        const bool there = std::filesystem::exists(path);
        const std::string before = there ? ReadFile(path) : std::string();
        EXPECT_EQ(test::WhatFailed(real.ReplaceFile(path, "new", &*read)), Failure::What::changedMeanwhile) << name;
        EXPECT_EQ(there ? ReadFile(path) : std::string(), before) << name;
        EXPECT_EQ(std::filesystem::exists(path), there) << name;
    }
    WriteFile(path, "old!");
    fs::FileBytes bytes;
    const Result<fs::FileInfo> read = real.ReadFileBytes(path, bytes);
    EXPECT_TRUE(real.ReplaceFile(path, "new", &*read).ok());
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(test::TreeOf(dir.path()), std::vector<std::string>{"doc.htm"});
}

TEST(FileSystem, RewriteKeepsOwnerAndGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    TempDir dir;
    const std::string path = (dir / "doc.htm").string();
    WriteFile(path, "old");
    ASSERT_EQ(::chown(path.c_str(), 4321, 8765), 0);
    ::chmod(path.c_str(), 0664);
    ASSERT_TRUE(fs::RealFileSystem().ReplaceFile(path, "new").ok());
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 8765u);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
}

TEST(FileSystem, OnlyStaleTemporaryFilesOfOursGo) {
    TempDir dir;
    const std::string folder = dir.path().string();
    struct Plant {
        const char* name;
        bool live = false;         // a running writer holds the lock
        bool otherOwner = false;   // another user's file (the tests run as root)
        bool goesWithT = false;    // removed by the clean-up of t.htm
        bool goesWithAny = false;  // removed by the clean-up of every name
    };
    const Plant plants[] = {
        {".t.htm.quarvel-AbC123dEf456gHi7", false, false, true, true},   // a killed run's
        {".t.htm.quarvel-LiVe99LiVe99LiVe", true},                       // a running one's
        {".u.htm.quarvel-Zz00Zz00Zz00Zz00", false, false, false, true},  // another document's
        {".t.htm.quarvel-0tHeRuSeR0tHeRuS", false, true},                // another user's
        // Files of a user's own that only look alike: a short or wrong tail, no dot.
        {".t.htm.quarvel-AbC123"},
        {".doc.htm.quarvel-backup"},
        {".photo.jpg.quarvel-edited"},
        {".t.htm.quarvel-AbC123dEf456gHi7x"},
        {".t.htm.quarvel-AbC123dEf456gHi!"},
        {"t.htm.quarvel-AbC123dEf456gHi7"},
    };
    std::vector<int> locks;
    for (const Plant& plant : plants) {
        WriteFile(dir / plant.name, "partial");
        if (plant.otherOwner) {
            ASSERT_EQ(::chown((dir / plant.name).c_str(), 65534, 65534), 0);
        }
        if (!plant.live) continue;
        locks.push_back(::open((dir / plant.name).c_str(), O_RDONLY | O_CLOEXEC));
        EXPECT_EQ(::flock(locks.back(), LOCK_EX | LOCK_NB), 0);
    }
    for (bool every : {false, true}) {
        fs::RealFileSystem().RemoveStaleTemporaries(folder, every ? "" : "t.htm");
        for (const Plant& plant : plants) {
            const bool gone = every ? plant.goesWithAny : plant.goesWithT;
            EXPECT_NE(std::filesystem::exists(dir / plant.name), gone) << plant.name << (every ? " (every name)" : "");
        }
    }
    for (int fd : locks) ::close(fd);
}

TEST(FileSystem, AtomicReplaceKeepsModeLinksAndLeavesNoTemporaryFile) {
    TempDir dir;
    auto& real = fs::RealFileSystem();
    WriteFile(dir / "doc.htm", "old");
    ::chmod((dir / "doc.htm").c_str(), 0604);
    std::filesystem::create_symlink("doc.htm", dir / "link.htm");
    EXPECT_TRUE(real.ReplaceFile((dir / "link.htm").string(), std::string("n\0w", 3)).ok());
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.htm"));
    EXPECT_EQ(ReadFile(dir / "doc.htm"), std::string("n\0w", 3));
    struct stat st;
    ::stat((dir / "doc.htm").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0604u);

    ::chmod((dir / "doc.htm").c_str(), 0444);  // read-only, even for root
    EXPECT_EQ(test::WhatFailed(real.ReplaceFile((dir / "doc.htm").string(), "x")), Failure::What::readOnly);
    EXPECT_EQ(ReadFile(dir / "doc.htm"), std::string("n\0w", 3));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(FileSystem, AtomicReplaceOfTheLongestNames) {
    // 82 Japanese characters and ".htm" make a name of 250 bytes, within the limit
    // of 255 for one name; the rewrite must not need a longer one.
    TempDir dir;
    std::string name;
    for (int i = 0; i < 82; ++i) name += "あ";
    name += ".htm";
    ASSERT_LE(name.size(), 255u);
    WriteFile(dir / name, "old");
    EXPECT_TRUE(fs::RealFileSystem().ReplaceFile((dir / name).string(), "new").ok());
    EXPECT_EQ(ReadFile(dir / name), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(FileSystem, OnlyRegularFilesAreRead) {
    // A pipe would block the job until some other program writes to it, and a
    // device such as /dev/zero never ends: neither is a document.
    TempDir dir;
    const std::string fifo = (dir / "pipe.htm").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto& real = fs::RealFileSystem();
    auto read = std::async(std::launch::async, [&] {
        fs::FileBytes bytes;
        return test::WhatFailed(real.ReadFileBytes(fifo, bytes));
    });
    // A reader blocked on the pipe is let go by a writer that opens and closes it.
    if (read.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "reading a pipe blocked";
        ::close(::open(fifo.c_str(), O_WRONLY));
    }
    EXPECT_EQ(read.get(), Failure::What::notOpened);
    fs::FileBytes bytes;
    EXPECT_EQ(test::WhatFailed(real.ReadFileBytes("/dev/null", bytes)), Failure::What::notOpened);
    EXPECT_EQ(real.ReadFileBytes(dir.path().string(), bytes).failure().error, EISDIR);
}

}  // namespace
}  // namespace quarvel

namespace quarvel {
namespace {

TEST(Separators, BackslashNBecomesALineBreakOnlyAsACharacterOfItsOwn) {
    EXPECT_EQ(SeparatorWithLineBreaks("\\n"), "\r\n");
    EXPECT_EQ(SeparatorWithLineBreaks("<br>\\n\\n"), "<br>\r\n\r\n");
    EXPECT_EQ(SeparatorWithLineBreaks("\\x"), "\\x");
    EXPECT_EQ(SeparatorWithLineBreaks("a\\"), "a\\");
    // 0x95 0x5C is one character whose second byte is a backslash.
    EXPECT_EQ(SeparatorWithLineBreaks("\x95\x5Cn"), "\x95\x5Cn");
    // The engine's lists: in order, empty ones kept, a backslash before \n kept.
    EXPECT_EQ(ScanSeparators({"</pre>\\n", "\\\\n", ""}), (Separators{"</pre>\r\n", "\\\r\n", ""}));
}

}  // namespace
}  // namespace quarvel
