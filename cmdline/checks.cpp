#include "cmdline/checks.h"

#include <utility>

namespace quarvel::cmdline {

CLI::Validator Check(std::function<std::string(const std::string&)> problem) {
    return CLI::Validator([problem = std::move(problem)](std::string& value) { return problem(value); }, std::string());
}

CLI::Validator Needs(std::string option, std::string needs, std::function<bool(const std::string&)> good) {
    return Check([=](const std::string& value) -> std::string {
        if (good(value)) return {};
        std::string message = "option " + option + " " + needs;
        if (!value.empty()) message += ", not '" + value + "'";
        return message;
    });
}

std::vector<CLI::Validator*> ChecksOf(CLI::Option& option) {
    std::vector<CLI::Validator*> checks;
    try {
        for (int i = 0;; ++i) checks.push_back(option.get_validator(i));
    } catch (const CLI::OptionNotFound&) {}
    return checks;
}

}  // namespace quarvel::cmdline
