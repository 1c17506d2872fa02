// The file system read: making a folder, listing one, reading whole files.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.h"
#include "support/test_support.h"

namespace quarvel::platform {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(FileSystem, MakeDirectoryMakesOneLevel) {
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

// A folder held twice is the one folder for both holders, through one descriptor: it
// stays held, wherever it is moved, until the last of them lets go.
TEST(FileSystem, AFolderHeldTwiceStaysHeldUntilBothLetGo) {
    TempDir dir;
    fs::FileSystem files;
    const std::string folder = (dir / "a").string();
    std::filesystem::create_directory(folder);
    Result<fs::HeldFolder> first = files.Hold(folder);
    Result<fs::HeldFolder> second = files.Hold(folder);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->id(), second->id());
    std::filesystem::rename(folder, dir / "moved");
    std::filesystem::create_directory(folder);
    const auto write = [&](const char* name) {
        ASSERT_TRUE(files.WriteNewFile(folder + "/" + name, name, {}).ok()) << name;
    };
    EXPECT_FALSE(*files.MakeDirectory(folder));  // held: there
    write("x");
    *first = fs::HeldFolder();
    write("y");
    *second = fs::HeldFolder();
    write("z");
    EXPECT_EQ(test::TreeOf(dir / "moved"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(test::TreeOf(dir / "a"), std::vector<std::string>{"z"});
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
}  // namespace quarvel::platform
