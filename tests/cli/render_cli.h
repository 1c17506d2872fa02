#pragma once
// quarvel-cli render run as a user runs it, in a folder of its own, and its pictures read back.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/picture.h"
#include "support/test_support.h"

namespace quarvel {

class RenderCli : public ::testing::Test {
protected:
    test::TempDir dir;

    test::ProcessResult Render(std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {QUARVEL_CLI_PATH, "render"});
        return test::RunProcess(args, input);
    }
    platform::Picture Decode(const std::string& name) {
        platform::Picture p;
        EXPECT_TRUE(test::DecodePng(dir / name, p)) << name;
        return p;
    }
};

}  // namespace quarvel
