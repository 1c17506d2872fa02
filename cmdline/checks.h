#pragma once
// Checks of the values of options that say what is wrong in the program's words, and
// the usage problem a check of the whole command line throws.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cmdline/text.h"
#include "platform/language.h"

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

template <typename T>
using Choices = std::vector<std::pair<std::string, T>>;

// One of the words of `choices`, each with the value it stands for, in any case;
// `shown` are the words the help, the man page and the completion offer (the others
// are synonyms).
template <typename T>
CLI::Option* AddChoice(CLI::App& app, const std::string& name, std::function<void(T)> set, Choices<T> choices,
                       const std::vector<std::string>& shown, const std::string& help) {
    auto find = [choices](const std::string& word) -> std::optional<T> {
        for (const auto& [w, value] : choices)
            if (std::equal(w.begin(), w.end(), word.begin(), word.end(), [](char a, char b) {
                    return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
                }))
                return value;
        return std::nullopt;
    };
    return app
        .add_option_function<std::string>(
            name, [set, find](const std::string& word) { set(*find(word)); }, help)
        ->type_name(JoinWords(shown, "|", "|"))
        ->check(Needs(name, platform::Fill(_("takes {1}"), {JoinWords(shown, _(", "), _(" or "))}),
                      [find](const std::string& word) { return find(word).has_value(); }));
}

}  // namespace quarvel::cmdline
