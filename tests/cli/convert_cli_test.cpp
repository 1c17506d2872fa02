// quarvel-cli convert and convert-folder, run end to end on real files.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "engine/conversion.h"
#include "render/renderer.h"
#include "support/test_support.h"

extern char** environ;

namespace quarvel {
namespace {

using test::ReadFile;
using test::RunProcess;
using test::TempDir;
using test::WriteFile;

test::ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), QUARVEL_CLI_PATH);
    return RunProcess(args);
}

TEST(ConvertCli, ConvertsDocumentsAndSetsTheExitStatus) {
    TempDir dir;
    std::filesystem::create_directory(dir / "logs");
    WriteFile(dir / "logs/thread.htm", "<dt>1<dd>AA<br>BB\r\n<dt>2<dd>CC");
    WriteFile(dir / "logs/スレ 2.htm", "<dd>x\r\n");
    auto r = Cli({"convert", (dir / "logs/thread.htm").string(), (dir / "logs/スレ 2.htm").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "logs/thread.htm"),
              "<dt>1<dd><img src=\"./thread/001.png\">\r\n<dt>2<dd><img src=\"./thread/002.png\">");
    EXPECT_EQ(ReadFile(dir / "logs/スレ 2.htm"), NativeToCp932("<dd><img src=\"./スレ%202/001.png\">\r\n"));
    EXPECT_TRUE(std::filesystem::exists(dir / "logs/スレ 2/001.png"));
    EXPECT_EQ(ReadFile(dir / "logs/backup/thread.htm"), "<dt>1<dd>AA<br>BB\r\n<dt>2<dd>CC");
    EXPECT_TRUE(r.err.empty()) << r.err;  // not a terminal: no progress line

    // A missing document fails with its message; the others are still converted.
    WriteFile(dir / "b.htm", "<dd>y\r\n");
    r = Cli({"convert", "--no-backup", (dir / "none.htm").string(), (dir / "b.htm").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find((dir / "none.htm").string() + ": ファイルのオープンに失敗"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / "b.htm"), "<dd><img src=\"./b/001.png\">\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "backup"));

    EXPECT_EQ(Cli({"convert"}).exit_code, 2);
    EXPECT_EQ(Cli({"convert", "--code", "jis", "x.htm"}).exit_code, 2);
    EXPECT_EQ(Cli({"convert", "--pattern", "*.htm", "x.htm"}).exit_code, 2);
    EXPECT_EQ(Cli({"convert", "--start", "a", "--start", "b", "--start", "c", "--start", "d", "x"}).exit_code, 2);
}

TEST(ConvertCli, OptionsAndSettingsFile) {
    TempDir dir;
    // Separators as typed in the window: backslash-n stands for CR LF.
    WriteFile(dir / "a.htm", "<pre>one\r\ntwo</pre>[x]");
    auto r = Cli({"convert", "--no-backup", "--start", "<pre>", "--end", "\\n", (dir / "a.htm").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "a.htm"), "<pre><img src=\"./a/001.png\">\r\ntwo</pre>[x]");

    // The folder page's section: EUC-JP, "[" to "]", no backups, *.txt.
    WriteFile(dir / "s.ini",
              "[TargetFolderPage]\r\nstrFileFilter=*.txt\r\nbSubFolder=FALSE\r\nstrSepalaterStart1=[\r\n"
              "strSepalaterEnd1=]\r\nstrSepalaterEnd2=\r\nbBackup=FALSE\r\niCode=1\r\n"
              "[General]\r\niMargin=7\r\n");
    std::filesystem::create_directory(dir / "f");
    std::filesystem::create_directory(dir / "f/sub");
    const std::string euc = "\xA4\xA2[\xA5\xBD]\xE0\n";
    WriteFile(dir / "f/e.txt", euc);
    WriteFile(dir / "f/sub/e.txt", euc);
    r = Cli({"convert-folder", "--settings", (dir / "s.ini").string(), (dir / "f").string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "f/e.txt"), "\xA4\xA2[<img src=\"./e/001.png\">]\xE0\n");
    EXPECT_EQ(ReadFile(dir / "f/sub/e.txt"), euc);
    EXPECT_FALSE(std::filesystem::exists(dir / "f/backup"));
    Picture picture;
    ASSERT_TRUE(test::DecodePng(dir / "f/e/001.png", picture));
    Appearance look;
    look.iMargin = 7;  // the file's margin
    Picture expected = RenderPicture("\x83\x5C", look);
    EXPECT_EQ(picture.width, expected.width);
    EXPECT_TRUE(picture.rgb == expected.rgb);

    EXPECT_EQ(Cli({"convert-folder", "--settings", (dir / "none.ini").string(), dir.path().string()}).exit_code, 2);
    r = Cli({"convert-folder", (dir / "missing").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("フォルダが見つかりません"), std::string::npos);
}

TEST(ConvertCli, InterruptLeavesTheDocumentAsItWas) {
    TempDir dir;
    std::string document;
    for (int i = 0; i < 20000; ++i) document += "<dd>art " + std::to_string(i) + "\r\n";
    WriteFile(dir / "long.htm", document);

    const std::string path = (dir / "long.htm").string();
    std::vector<const char*> argv = {QUARVEL_CLI_PATH, "convert", "--no-backup", path.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, QUARVEL_CLI_PATH, nullptr, nullptr, const_cast<char**>(argv.data()), environ), 0);
    // Interrupt once the job is under way.
    while (!std::filesystem::exists(dir / "long/002.png")) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_TRUE(ReadFile(dir / "long.htm") == document);
}

TEST(ConvertCli, InterruptBetweenDocumentsStopsTheRest) {
    // Ctrl+C while the first document is being written back: that document may
    // still be finished, but no further document is started.
    TempDir dir;
    WriteFile(dir / "a.htm", std::string(64 << 20, 'a') + "<dd>x");
    WriteFile(dir / "b.htm", "<dd>y");
    const std::string a = (dir / "a.htm").string(), b = (dir / "b.htm").string();
    std::vector<const char*> argv = {QUARVEL_CLI_PATH, "convert", "--no-backup", a.c_str(), b.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, QUARVEL_CLI_PATH, nullptr, nullptr, const_cast<char**>(argv.data()), environ), 0);
    // The rewrite goes through a new file beside the document; wait for it.
    auto writing = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().starts_with(".a.htm")) return true;
        return false;
    };
    bool caught = false;
    int status = 0;
    while (!(caught = writing()) && ::waitpid(pid, &status, WNOHANG) == 0) {
    }
    if (caught) {
        ::kill(pid, SIGINT);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    }
    ASSERT_TRUE(caught) << "the rewrite of a.htm was never seen";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(ReadFile(dir / "b.htm"), "<dd>y");
    EXPECT_FALSE(std::filesystem::exists(dir / "b"));
}

}  // namespace
}  // namespace quarvel
