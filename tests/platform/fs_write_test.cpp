// The file system written: whole new files, replacing only the file that was read,
// and the temporary files of runs that were killed.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.h"
#include "support/test_support.h"

namespace quarvel::platform {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

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

// A rewrite and a copy keep the extended attributes and the ACL, as cp -a does: a
// group that the ACL lets write keeps its right, and the owning group gains none.
TEST(FileSystem, RewriteAndCopyKeepAttributesAndTheAcl) {
    TempDir dir;
    const std::string path = (dir / "doc.htm").string();
    WriteFile(path, "old");
    ::chmod(path.c_str(), 0640);
    // user::rw-, group::r--, group:100:rw-, mask::rw-, other::---
    auto entry = [](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
        std::string bytes(8, '\0');
        std::memcpy(bytes.data(), &tag, 2);
        std::memcpy(bytes.data() + 2, &perm, 2);
        std::memcpy(bytes.data() + 4, &id, 4);
        return bytes;
    };
    const std::uint32_t version = 2, none = 0xFFFFFFFF;
    std::string acl(reinterpret_cast<const char*>(&version), 4);
    acl +=
        entry(0x01, 6, none) + entry(0x04, 4, none) + entry(0x08, 6, 100) + entry(0x10, 6, none) + entry(0x20, 0, none);
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
        ::setxattr(path.c_str(), "user.quarvel.test", "kept", 4, 0) != 0)
        GTEST_SKIP() << "no ACLs or user attributes here: " << std::strerror(errno);
    auto attribute = [](const std::string& file, const char* name) {
        std::string value(256, '\0');
        const ssize_t n = ::getxattr(file.c_str(), name, value.data(), value.size());
        value.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return value;
    };
    auto& real = fs::RealFileSystem();
    fs::FileBytes bytes;
    const Result<fs::FileInfo> read = real.ReadFileBytes(path, bytes);
    ASSERT_TRUE(read.ok());
    fs::WriteOptions copy;
    copy.existing = fs::Existing::keep;
    copy.like = &*read;
    ASSERT_TRUE(real.WriteNewFile((dir / "copy.htm").string(), "old", copy).ok());
    ASSERT_TRUE(real.ReplaceFile(path, "new", &*read).ok());
    for (const std::string& file : {path, (dir / "copy.htm").string()}) {
        EXPECT_EQ(attribute(file, "system.posix_acl_access"), acl) << file;
        EXPECT_EQ(attribute(file, "user.quarvel.test"), "kept") << file;
        struct stat st;
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0660u) << file;  // the group bits are the mask
    }
    // A file made for the document takes none of them.
    fs::WriteOptions picture;
    picture.like = &*read;
    picture.likeness = fs::Likeness::madeFor;
    ASSERT_TRUE(real.WriteNewFile((dir / "001.png").string(), "png", picture).ok());
    EXPECT_EQ(attribute((dir / "001.png").string(), "user.quarvel.test"), "");
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

}  // namespace
}  // namespace quarvel::platform
