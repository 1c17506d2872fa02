#include "cmdline/completion.h"

#include <algorithm>
#include <utility>

#include "cmdline/help.h"

namespace quarvel::cmdline {

namespace {

std::string Joined(const std::vector<std::string>& words, const std::string& separator) {
    std::string out;
    for (const std::string& word : words) out += (out.empty() ? "" : separator) + word;
    return out;
}

// Text between single quotes in a shell: each ' closes the quotes, is escaped and
// opens them again (fish: escaped inside them).
std::string Quoted(const std::string& text, bool fish = false) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'')
            out += fish ? "\\'" : "'\\''";
        else if (c == '\\' && fish)
            out += "\\\\";
        else
            out += c;
    }
    return out + "'";
}

// The words of a table as a shell function's name: "quarvel-cli" as "quarvel_cli".
std::string Identifier(std::string name) {
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// "*.(#i)(png|ast)": the files of the given extensions, in any case, as zsh globs them.
std::string ZshGlob(const std::vector<std::string>& extensions) {
    std::vector<std::string> bare;
    for (const std::string& extension : extensions) bare.push_back(extension.substr(1));
    return "*.(#i)(" + Joined(bare, "|") + ")";
}

// Escapes what _arguments reads in a spec's description and message: brackets and colons.
std::string ZshText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '[' || c == ']' || c == ':' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

std::string ZshAction(const ValueKind& value) {
    switch (value.type) {
    case ValueKind::Type::word: return "(" + Joined(value.words, " ") + ")";
    case ValueKind::Type::file: return value.words.empty() ? "_files" : "_files -g \"" + ZshGlob(value.words) + "\"";
    case ValueKind::Type::folder: return "_files -/";
    case ValueKind::Type::text: break;
    }
    return " ";  // nothing to offer; the message shows what is asked
}

// The _arguments specs of a command's options and operand, one a line.
std::vector<std::string> ZshSpecs(const CompletionCommand& command) {
    std::vector<std::string> specs;
    for (const CompletionOption& option : command.options) {
        const std::string exclusion = option.repeats            ? "*"
                                      : option.names.size() > 1 ? "(" + Joined(option.names, " ") + ")"
                                                                : "";
        for (const std::string& name : option.names) {
            std::string spec = exclusion + name;
            if (option.takesValue) spec += name.starts_with("--") ? "=" : "+";
            spec += "[" + ZshText(option.summary) + "]";
            if (option.takesValue) spec += ":" + ZshText(option.valueName) + ":" + ZshAction(option.value);
            specs.push_back(Quoted(spec));
        }
    }
    if (command.operands)
        specs.push_back(Quoted((command.operand.repeats ? "*:" : ":") + ZshText(command.operand.valueName) + ":" +
                               ZshAction(command.operand.value)));
    return specs;
}

std::string ZshArguments(const CompletionCommand& command, const std::string& indent) {
    std::string out = indent + "_arguments -S";
    for (const std::string& spec : ZshSpecs(command)) out += " \\\n" + indent + "    " + spec;
    return out;
}

// complete's flags for what a value or an operand is.
std::string FishValue(const ValueKind& value, bool operand) {
    switch (value.type) {
    case ValueKind::Type::word: return "-x -a " + Quoted(Joined(value.words, " "), true);
    case ValueKind::Type::file: {
        if (value.words.empty()) return operand ? "-F" : "-r -F";
        std::vector<std::string> calls;
        for (const std::string& extension : value.words) calls.push_back("__fish_complete_suffix " + extension);
        // fish's way: the files of those extensions first, then the others (-k keeps the order).
        return "-x -k -a " + Quoted("(" + Joined(calls, "; ") + ")", true);
    }
    case ValueKind::Type::folder: return "-x -a '(__fish_complete_directories)'";
    case ValueKind::Type::text: break;
    }
    return "-x";
}

std::string FishLines(const std::string& program, const CompletionCommand& command, const std::string& condition) {
    const std::string head = "complete -c " + program + (condition.empty() ? "" : " -n " + Quoted(condition, true));
    std::string out;
    for (const CompletionOption& option : command.options) {
        out += head;
        for (const std::string& name : option.names)
            out += name.starts_with("--") ? " -l " + name.substr(2) : " -s " + name.substr(1);
        if (option.takesValue) out += " " + FishValue(option.value, false);
        out += " -d " + Quoted(option.summary, true) + "\n";
    }
    if (command.operands) out += head + " " + FishValue(command.operand.value, true) + "\n";
    return out;
}

std::string BashReply(const ValueKind& value, const std::string& indent) {
    switch (value.type) {
    case ValueKind::Type::word:
        return indent + "mapfile -t COMPREPLY < <(compgen -W " + Quoted(Joined(value.words, " ")) + " -- \"$cur\")\n";
    case ValueKind::Type::file:
        return indent + "compopt -o filenames 2>/dev/null\n" + indent +
               "mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n";
    case ValueKind::Type::folder:
        return indent + "compopt -o filenames 2>/dev/null\n" + indent +
               "mapfile -t COMPREPLY < <(compgen -d -- \"$cur\")\n";
    case ValueKind::Type::text: break;
    }
    return indent + "COMPREPLY=()\n";
}

}  // namespace

std::string Summary(const std::string& help) {
    int depth = 0;
    for (std::size_t i = 0; i < help.size(); ++i) {
        const char c = help[i];
        if (c == '(') ++depth;
        if (c == ')' && depth > 0) --depth;
        // A full stop ends a sentence; the dots of "..." do not.
        const bool stop = c == '.' && (i + 1 == help.size() || help[i + 1] == ' ') && i > 0 && help[i - 1] != '.';
        if (depth == 0 && (c == ';' || c == ':' || stop)) return help.substr(0, i);
    }
    return help;
}

CompletionTable CompletionTableOf(const std::string& program, const CLI::App& app,
                                  const std::function<ValueKind(const CLI::Option*)>& kind) {
    const auto commandOf = [&](const CLI::App& command, std::string commandName) {
        CompletionCommand out{std::move(commandName), Summary(command.get_description()), {}, false, {}};
        for (const CLI::Option* option : command.get_options()) {
            CompletionOption entry;
            for (const std::string& name : option->get_snames()) entry.names.push_back("-" + name);
            for (const std::string& name : option->get_lnames()) entry.names.push_back("--" + name);
            entry.summary = Summary(option->get_description());
            entry.takesValue = TakesValue(*option);
            entry.repeats = option->get_items_expected_max() > 1;
            entry.valueName = option->get_type_name();
            entry.value = kind(option);
            if (option->get_positional()) {
                out.operands = true;
                out.operand = std::move(entry);
            } else {
                out.options.push_back(std::move(entry));
            }
        }
        return out;
    };
    CompletionTable table{program, commandOf(app, {}), {}};
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        table.commands.push_back(commandOf(*command, command->get_name()));
    return table;
}

std::string BashCompletion(const CompletionTable& table) {
    const CompletionCommand& main = table.main;
    std::vector<std::string> names;
    // The options whose values are completed alike, in one branch each.
    std::vector<std::pair<std::string, std::vector<std::string>>> replies;
    for (const CompletionOption& option : main.options) {
        names.insert(names.end(), option.names.begin(), option.names.end());
        if (!option.takesValue) continue;
        const std::string reply = BashReply(option.value, "        ");
        auto same = std::find_if(replies.begin(), replies.end(), [&](const auto& r) { return r.first == reply; });
        if (same == replies.end()) same = replies.insert(replies.end(), {reply, {}});
        same->second.insert(same->second.end(), option.names.begin(), option.names.end());
    }
    std::string values;
    for (const auto& [reply, options] : replies)
        values += "    " + Joined(options, " | ") + ")\n" + reply + "        return\n        ;;\n";
    const std::string function = "_" + Identifier(table.program);
    std::string out = "# bash completion for " + table.program +
                      "                          -*- shell-script -*-\n"
                      "# Written by the build from the program's table of options.\n\n" +
                      function +
                      "() {\n"
                      "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
                      "    # --option=value: bash splits it at the '=', into the option, \"=\" and the value.\n"
                      "    if [[ $cur == = ]]; then\n        cur=\n"
                      "    elif [[ $prev == = ]] && ((COMP_CWORD > 2)); then\n"
                      "        prev=${COMP_WORDS[COMP_CWORD - 2]}\n    fi\n"
                      "    case $prev in\n" +
                      values + "    esac\n";
    const std::string options = "mapfile -t COMPREPLY < <(compgen -W " + Quoted(Joined(names, " ")) + " -- \"$cur\")\n";
    if (main.operands)
        out += "    if [[ $cur == -* ]]; then\n        " + options + "        return\n    fi\n" +
               BashReply(main.operand.value, "    ");
    else
        out += "    " + options;
    return out + "} &&\n    complete -F " + function + " " + table.program + "\n\n# ex: filetype=sh\n";
}

std::string ZshCompletion(const CompletionTable& table) {
    const std::string function = "_" + table.program;
    std::string out = "#compdef " + table.program + "\n# zsh completion for " + table.program +
                      ", written by the build from the program's table.\n\n" + function + "() {\n";
    if (table.commands.empty()) return out + ZshArguments(table.main, "    ") + "\n}\n\n" + function + " \"$@\"\n";
    out +=
        "    local curcontext=$curcontext state state_descr line ret=1\n"
        "    typeset -A opt_args\n" +
        ZshArguments(table.main, "    ") +
        " \\\n        '1:command:->command' \\\n        '*::argument:->argument' && ret=0\n"
        "    case $state in\n    command)\n        local -a commands=(\n";
    for (const CompletionCommand& command : table.commands)
        out += "            " + Quoted(command.name + ":" + command.summary) + "\n";
    out +=
        "        )\n        _describe -t commands command commands && ret=0\n        ;;\n"
        "    argument)\n        curcontext=${curcontext%:*:*}:" +
        table.program + "-$words[1]:\n        case $words[1] in\n";
    for (const CompletionCommand& command : table.commands)
        out +=
            "        " + command.name + ")\n" + ZshArguments(command, "            ") + " && ret=0\n            ;;\n";
    return out + "        esac\n        ;;\n    esac\n    return ret\n}\n\n" + function + " \"$@\"\n";
}

std::string FishCompletion(const CompletionTable& table) {
    std::string out = "# fish completion for " + table.program + ", written by the build from the program's table.\n" +
                      "complete -c " + table.program + " -f\n";
    if (table.commands.empty()) return out + FishLines(table.program, table.main, {});
    out += FishLines(table.program, table.main, "__fish_use_subcommand");
    for (const CompletionCommand& command : table.commands)
        out += "complete -c " + table.program + " -n __fish_use_subcommand -a " + command.name + " -d " +
               Quoted(command.summary, true) + "\n";
    for (const CompletionCommand& command : table.commands)
        out += FishLines(table.program, command, "__fish_seen_subcommand_from " + command.name);
    return out;
}

}  // namespace quarvel::cmdline
