#include "cmdline/checks.h"

#include <utility>

#include "platform/language.h"

namespace quarvel::cmdline {

CLI::Validator Check(std::function<std::string(const std::string&)> problem) {
    return CLI::Validator([problem = std::move(problem)](std::string& value) { return problem(value); }, std::string());
}

CLI::Validator Needs(std::string option, std::string needs, std::function<bool(const std::string&)> good) {
    return Check([=](const std::string& value) -> std::string {
        if (good(value)) return {};
        return value.empty() ? platform::Fill(_("option {1} {2}"), {option, needs})
                             : platform::Fill(_("option {1} {2}, not '{3}'"), {option, needs, value});
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
