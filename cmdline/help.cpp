#include "cmdline/help.h"

#include <algorithm>
#include <sstream>

#include "cmdline/text.h"
#include "platform/language.h"

namespace quarvel::cmdline {

std::vector<UsageWord> UsageOf(const CLI::App& command) {
    std::vector<UsageWord> words;
    const std::vector<const CLI::Option*> options = command.get_options();
    if (std::any_of(options.begin(), options.end(),
                    [](const CLI::Option* o) { return o->nonpositional() && !o->get_required(); }))
        words.push_back({nullptr, true});
    for (const CLI::Option* option : options)
        if (option->get_positional() || option->get_required()) words.push_back({option, !option->get_required()});
    return words;
}

std::string UsageName(const CLI::Option& option) {
    return option.get_snames().empty() ? "--" + option.get_lnames().front() : "-" + option.get_snames().front();
}

std::string UsageLine(const CLI::App& app) {
    if (!app.get_subcommands({}).empty()) return "COMMAND ...";
    std::string line;
    for (const UsageWord& word : UsageOf(app)) {
        std::string text = !word.option ? "OPTIONS"
                           : word.option->get_positional()
                               ? word.option->get_type_name()
                               : UsageName(*word.option) + " " + word.option->get_type_name();
        line += (line.empty() ? "" : " ") + (word.optional ? "[" + text + "]" : text);
    }
    return line;
}

HelpFormatter::HelpFormatter() {
    column_width(kHelpColumn);
    label("Positionals", _("Arguments"));
}

std::string HelpFormatter::make_description(const CLI::App* app) const {
    return app->get_description().empty() ? std::string() : Wrap(app->get_description(), kHelpWidth) + "\n";
}

std::string HelpFormatter::make_usage(const CLI::App* app, std::string name) const {
    return Wrap(platform::Fill(_("Usage: {1}"), {name + " " + UsageLine(*app)}), kHelpWidth) + "\n";
}

std::string HelpFormatter::make_footer(const CLI::App* app) const {
    return app->get_footer().empty() ? std::string() : Wrap(app->get_footer(), kHelpWidth) + "\n";
}

std::string HelpFormatter::make_subcommand(const CLI::App* command) const {
    return Row(command->get_name(), command->get_description());
}

std::string HelpFormatter::make_option(const CLI::Option* option, bool positional) const {
    std::string name = positional ? option->get_type_name() : option->get_name(false, true);
    if (!positional && TakesValue(*option)) name += " " + option->get_type_name();
    return Row(name, option->get_description());
}

std::string HelpFormatter::Row(const std::string& name, const std::string& description) {
    std::ostringstream out;
    CLI::detail::format_help(out, name, Wrap(description, kHelpWidth - kHelpColumn), kHelpColumn);
    return out.str();
}

}  // namespace quarvel::cmdline
