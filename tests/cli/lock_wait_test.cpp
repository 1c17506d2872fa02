// A document that another process holds locked is waited for, said after two seconds,
// and passed by after --lock-wait: the run goes on, ends with exit 1, and names it.
// Ctrl+C during the wait stops the run with nothing changed: quarvel-cli end to end.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quarvel {
namespace {

namespace stdfs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kText = "<dd>one\r\n";

// A lock on the file as another program takes it (flock -s): shared, held while it lives.
class HeldLock {
public:
    explicit HeldLock(const stdfs::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_EQ(::flock(fd_, LOCK_SH), 0);
    }
    ~HeldLock() { ::close(fd_); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    int fd_;
};

TEST(LockWait, ALockedDocumentIsSaidAndPassedBy) {
    for (const char* command : {"convert-folder", "convert", "restore"}) {
        SCOPED_TRACE(command);
        TempDir dir;
        for (const char* name : {"a.htm", "b.htm"}) WriteFile(dir / name, kText);
        if (std::string(command) == "restore") {
            ASSERT_EQ(test::RunProcess({QUARVEL_CLI_PATH, "convert-folder", "-q", dir.path().string()}).exit_code, 0);
        }
        const std::string a = ReadFile(dir / "a.htm"), b = ReadFile(dir / "b.htm");
        const HeldLock lock(dir / "a.htm");
        std::vector<std::string> argv = {"/usr/bin/timeout", "60", QUARVEL_CLI_PATH, command, "--lock-wait", "3"};
        if (std::string(command) == "convert-folder")
            argv.push_back(dir.path().string());
        else
            argv.insert(argv.end(), {(dir / "a.htm").string(), (dir / "b.htm").string()});
        const auto started = std::chrono::steady_clock::now();
        const auto r = test::RunProcess(argv);
        const auto waited = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_GE(waited, std::chrono::seconds(3));
        const std::string path = (dir / "a.htm").string();
        EXPECT_NE(r.err.find("quarvel-cli: " + path + ": waiting for another process"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("quarvel-cli: " + path + ": locked by another process"), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(dir / "a.htm"), a) << "the locked document changed";
        EXPECT_NE(ReadFile(dir / "b.htm"), b) << "the next document was not reached";
    }
}

// On a terminal the closing summary names the document passed by; Ctrl+C while the run
// waits stops it at once, exit 130, with nothing changed.
TEST(LockWait, TheSummaryNamesItAndCtrlCStopsTheWait) {
    TempDir dir;
    WriteFile(dir / "a.htm", kText);
    const HeldLock lock(dir / "a.htm");
    {
        test::TerminalProcess run({QUARVEL_CLI_PATH, "convert", "--lock-wait", "1", (dir / "a.htm").string()}, 200);
        ASSERT_EQ(run.Wait(std::chrono::seconds(30)), 1) << run.Shown();
        EXPECT_NE(run.Shown().find("locked by another process: " + (dir / "a.htm").string()), std::string::npos)
            << run.Shown();
    }
    test::TerminalProcess run({QUARVEL_CLI_PATH, "convert", (dir / "a.htm").string()}, 200);
    // The line that says what the run waits for, after two seconds.
    for (int i = 0; i < 100 && run.Shown().find("waiting for another process") == std::string::npos; ++i)
        run.Wait(std::chrono::milliseconds(100));
    ASSERT_NE(run.Shown().find("waiting for another process"), std::string::npos) << run.Shown();
    run.Type("\x03");
    EXPECT_EQ(run.Wait(std::chrono::seconds(30)), 130) << run.Shown();
    EXPECT_EQ(test::TreeOf(dir.path()), std::vector<std::string>{"a.htm"});
    EXPECT_EQ(ReadFile(dir / "a.htm"), kText);
}

}  // namespace
}  // namespace quarvel
