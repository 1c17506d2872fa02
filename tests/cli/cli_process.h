#pragma once
// quarvel-cli run as a process, as a user or a script runs it: with its arguments, or
// through the shell under a limit set first (ulimit).

#include <string>
#include <vector>

#include "support/test_support.h"

namespace quarvel::test {

inline ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), QUARVEL_CLI_PATH);
    return RunProcess(args);
}

// `limit` is a shell command (`ulimit -v 90000`); the program runs only if it succeeds.
inline ProcessResult CliUnder(const std::string& limit, const std::vector<std::string>& args,
                              const std::vector<std::string>& env = {}) {
    std::vector<std::string> argv = {"/bin/sh", "-c", limit + " && exec \"$0\" \"$@\"", QUARVEL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, {}, env);
}

}  // namespace quarvel::test
