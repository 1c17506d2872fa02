// A word that no option takes is what quarvel-server's usage error names, before a
// value that is missing or refused.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace quarvel {
namespace {

TEST(ServerProgram, AnUnknownOptionIsToldFirst) {
    const std::vector<std::vector<std::string>> lines = {
        {"--bogus"},
        {"--bogus", "--listen"},
        {"--bogus", "--threads", "0"},
        {"--threads", "0", "--bogus"},
    };
    for (std::vector<std::string> line : lines) {
        line.insert(line.begin(), QUARVEL_SERVER_PATH);
        const test::ProcessResult r = test::RunProcess(line);
        EXPECT_EQ(r.exit_code, 2) << line[1];
        EXPECT_EQ(r.err, "quarvel-server: unknown option '--bogus' (see quarvel-server --help)\n") << line[1];
    }
}

}  // namespace
}  // namespace quarvel
