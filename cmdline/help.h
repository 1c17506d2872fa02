#pragma once
// The help in the programs' one layout: every text broken to fit 80 columns, names in
// a column of their own, operands named by what they take, required options and
// operands shown as required. The usage line is made of the words UsageOf gives, which
// the man page's synopsis uses too.

#include <CLI/CLI.hpp>
#include <cstddef>
#include <string>
#include <vector>

namespace quarvel::cmdline {

// The help fits an 80-column terminal, descriptions beside a column of names.
inline constexpr std::size_t kHelpWidth = 80;
inline constexpr std::size_t kHelpColumn = 30;

// One word of a command's usage line: an operand, a required option with its value,
// or every other option ("[OPTIONS]", with a null option).
struct UsageWord {
    const CLI::Option* option;
    bool optional;
};
// The usage of a command: its other options, then its operands and its required
// options, in the order they were added.
std::vector<UsageWord> UsageOf(const CLI::App& command);
// The name a usage line gives an option: its short one, else its long one.
std::string UsageName(const CLI::Option& option);
// Whether an option takes a value (a flag does not).
inline bool TakesValue(const CLI::Option& option) { return option.get_expected_max() > 0; }

// The usage line of a command as the help shows it.
std::string UsageLine(const CLI::App& app);

class HelpFormatter : public CLI::Formatter {
public:
    HelpFormatter();
    std::string make_description(const CLI::App* app) const override;
    std::string make_usage(const CLI::App* app, std::string name) const override;
    std::string make_footer(const CLI::App* app) const override;
    std::string make_subcommand(const CLI::App* command) const override;
    std::string make_option(const CLI::Option* option, bool positional) const override;

private:
    static std::string Row(const std::string& name, const std::string& description);
};

}  // namespace quarvel::cmdline
