// The zsh and fish completion of quarvel-cli, and the bash, zsh and fish completion of
// quarvel-server, as the shells load them: each script is read without an error, and
// fish and bash offer what goes where the cursor is. Skipped for a shell that is not
// installed.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quarvel {
namespace {

using test::RunProcess;

// What fish offers for `line` with `script` loaded: the words, one a line, without
// their descriptions.
std::string InFish(const std::string& script, const std::string& line) {
    const test::ProcessResult r =
        RunProcess({"/usr/bin/fish", "--no-config", "-c",
                    "source $argv[1]; complete -C$argv[2] | string replace -r '\\t.*' ''", script, line});
    EXPECT_EQ(r.err, "") << line;
    return r.out;
}

TEST(UsageCli, CompletionForZshAndFishAndForTheServer) {
    const std::string cliZsh = QUARVEL_CLI_ZSH_COMPLETION, cliFish = QUARVEL_CLI_FISH_COMPLETION;
    const std::string serverBash = QUARVEL_SERVER_BASH_COMPLETION, serverZsh = QUARVEL_SERVER_ZSH_COMPLETION,
                      serverFish = QUARVEL_SERVER_FISH_COMPLETION;
    bool ran = false;
    if (std::filesystem::exists("/usr/bin/zsh")) {
        ran = true;
        // Loaded as zsh loads a completion of its fpath: the function is defined, no error.
        for (const std::string& script : {cliZsh, serverZsh}) {
            const test::ProcessResult r =
                RunProcess({"/usr/bin/zsh", "-f", "-c",
                            "autoload -Uz compinit && compinit -u -D && source \"$1\" 2>&1; whence -w _$2", "zsh",
                            script, std::filesystem::path(script).filename().string().substr(1)});
            EXPECT_EQ(r.exit_code, 0) << script << r.out << r.err;
            EXPECT_NE(r.out.find("function"), std::string::npos) << script << r.out;
            EXPECT_EQ(RunProcess({"/usr/bin/zsh", "-n", script}).exit_code, 0) << script;
        }
    }
    if (std::filesystem::exists("/usr/bin/fish")) {
        ran = true;
        test::TempDir dir;
        test::WriteFile(dir / "a.mlt", "");
        test::WriteFile(dir / "b.txt", "");
        const std::string in = (dir / "").string();
        const std::pair<std::string, std::string> cases[] = {
            {"quarvel-cli conv", "convert\nconvert-folder\n"},
            {"quarvel-cli thum", "thumbnail\n"},
            {"quarvel-cli render --enc", "--encoding\n"},
            {"quarvel-cli render --encoding ", "auto\ncp932\nutf-8\n"},
            {"quarvel-cli thumbnail --si", "--size\n"},
            {"quarvel-cli thumbnail " + in, in + "a.mlt\n" + in + "b.txt\n"},  // collections first
            {"quarvel-cli help re", "render\nrender-pieces\nrestore\nrestore-folder\n"},
            {"quarvel-server --li", "--listen\n"},
            {"quarvel-server --threads ", ""},
        };
        for (const auto& [line, offered] : cases)
            EXPECT_EQ(InFish(line.starts_with("quarvel-cli") ? cliFish : serverFish, line), offered) << line;
    }
    // bash, always there.
    const auto inBash = [&](const std::string& words) {
        return RunProcess({"/bin/bash", "-c",
                           "source \"$0\" && COMP_WORDS=(" + words +
                               ") && COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) && _quarvel_server && "
                               "printf '%s\\n' \"${COMPREPLY[@]}\"",
                           serverBash})
            .out;
    };
    EXPECT_EQ(inBash("quarvel-server --max-c"), "--max-connections\n");
    EXPECT_EQ(inBash("quarvel-server --listen ''"), "\n");
    EXPECT_EQ(inBash("quarvel-server --listen = ''"), "\n");
    EXPECT_EQ(inBash("quarvel-server --h"), "--help\n--header-timeout\n");
    if (!ran) GTEST_SKIP() << "neither zsh nor fish is installed";
}

}  // namespace
}  // namespace quarvel
