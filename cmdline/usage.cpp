#include "cmdline/usage.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <utility>

#include "cmdline/checks.h"
#include "platform/language.h"

namespace quarvel::cmdline {

using platform::Fill;

std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> words;
    bool operands = false;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        operands = operands || word == "--";
        if (!operands && word.size() > 3 && word.starts_with("--") && word.find('=') == word.size() - 1) {
            word.pop_back();
            words.push_back(std::move(word));
            words.emplace_back();
        } else {
            words.push_back(std::move(word));
        }
    }
    return {words.rbegin(), words.rend()};
}

std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates) {
    auto distance = [](const std::string& a, const std::string& b) {
        std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
        for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
        for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i) {
            for (std::size_t j = 1; j <= b.size(); ++j) {
                d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
        return d[a.size()][b.size()];
    };
    const std::string* best = nullptr;
    std::size_t bestDistance = 3;
    for (const std::string& candidate : candidates) {
        const std::size_t d = distance(word, candidate);
        if (d < bestDistance && d * 2 < candidate.size()) best = &candidate, bestDistance = d;
    }
    return best ? Fill(_("; did you mean {1}?"), {*best}) : std::string();
}

std::vector<std::string> OptionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options())
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    return names;
}

std::string UnknownOption(const std::vector<std::string>& rest, const std::vector<std::string>& optionNames) {
    for (const std::string& word : rest) {
        if (word == "--") break;
        if (word.size() > 1 && word[0] == '-')
            return Fill(_("unknown option '{1}'"), {word}) + DidYouMean(word.substr(0, word.find('=')), optionNames);
    }
    return {};
}

std::string Leftover(const std::vector<std::string>& rest, const std::string& oneOperand,
                     const std::vector<std::string>& optionNames) {
    if (std::string unknown = UnknownOption(rest, optionNames); !unknown.empty()) return unknown;
    std::vector<std::string> operands;
    bool afterMark = false;
    for (const std::string& word : rest) {
        if (word == "--" && !afterMark)
            afterMark = true;
        else
            operands.push_back(word);
    }
    return operands.empty() ? Fill(_("unknown option '{1}'"), {"--"})
                            : Fill(_("{1}: '{2}' is one too many"), {oneOperand, operands.front()});
}

std::string ValueProblem(const CLI::App& scope, const CLI::Error& error, const std::string& lastWord) {
    CLI::App& app = const_cast<CLI::App&>(scope);
    // A value missing can only be the last word's: every option takes the next word,
    // whatever it is.
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) && !lastWord.empty()) {
        if (CLI::Option* option = app.get_option_no_throw(lastWord)) {
            for (CLI::Validator* check : ChecksOf(*option)) {
                std::string empty;
                if (std::string problem = (*check)(empty); !problem.empty()) return problem;
            }
            return Fill(_("option {1} needs a value"), {option->get_name()});
        }
    }
    // A value refused: the check is asked again, of the values in the order CLI11
    // checked them.
    if (dynamic_cast<const CLI::ValidationError*>(&error)) {
        for (CLI::Option* option : app.get_options()) {
            for (std::string value : option->results()) {
                for (CLI::Validator* check : ChecksOf(*option))
                    if (std::string problem = (*check)(value); !problem.empty()) return problem;
            }
        }
    }
    return {};
}

}  // namespace quarvel::cmdline
