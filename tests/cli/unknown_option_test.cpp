// A word that no option of the command takes is what the usage error names, before an
// operand or a required option that is missing, a value refused or a check of the whole
// command line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace quarvel {
namespace {

TEST(UsageCli, AnUnknownOptionIsToldFirst) {
    const std::vector<std::vector<std::string>> lines = {
        {"render", "--bogus"},
        {"render", "a.txt", "--bogus", "-o"},
        {"render-pieces", "--bogus", "x.mlt"},
        {"thumbnail", "x.mlt", "--bogus", "--size", "9"},
        {"convert", "--bogus"},
        {"convert-folder", "--bogus", "--code", "x"},
        {"restore", "--bogus"},
    };
    for (std::vector<std::string> line : lines) {
        const std::string command = line.front();
        line.insert(line.begin(), QUARVEL_CLI_PATH);
        const test::ProcessResult r = test::RunProcess(line);
        EXPECT_EQ(r.exit_code, 2) << command;
        EXPECT_EQ(r.err, "quarvel-cli: unknown option '--bogus' (see quarvel-cli help " + command + ")\n") << command;
    }
}

}  // namespace
}  // namespace quarvel
