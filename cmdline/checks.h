#pragma once
// Checks of the values of options that say what is wrong in the program's words, and
// the usage problem a check of the whole command line throws.

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

namespace quarvel::cmdline {

// A usage problem found by a check of the parsed command line, told as it stands.
class BadUsage : public CLI::ParseError {
public:
    explicit BadUsage(std::string message)
        : CLI::ParseError("BadUsage", std::move(message), CLI::ExitCodes::ValidationError) {}
};

// A check of a value that says what is wrong with it: an empty string when it is good.
CLI::Validator Check(std::function<std::string(const std::string&)> problem);

// "option --margin needs a number from 0 to 100, not '101'" for a value that is not
// good; without the value when it is empty.
CLI::Validator Needs(std::string option, std::string needs, std::function<bool(const std::string&)> good);

// The checks of an option in order (CLI11 tells their number only by throwing).
std::vector<CLI::Validator*> ChecksOf(CLI::Option& option);

}  // namespace quarvel::cmdline
