#pragma once
// What both programs make of a command line before and after CLI11 reads it: the
// words as CLI11 takes them, and usage errors said in the programs' words.

#include <string>
#include <vector>

namespace CLI {
class App;
class Error;
}  // namespace CLI

namespace quarvel::cmdline {

// The words after the program's name, reversed as CLI11 takes them. `--NAME=` with
// nothing after the '=' gives the option an empty value, as `--NAME ''` does (CLI11
// alone would take the next word for it).
std::vector<std::string> Arguments(int argc, char** argv);

// "; did you mean X?" for the candidate closest to a mistyped word (at most two
// letters added, dropped, changed or swapped, and fewer than half of it), else nothing.
std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates);

// The long names of a command's options ("--no-backup").
std::vector<std::string> OptionNames(const CLI::App& command);

// "unknown option '--x'" for the first word before "--" that no option took and that
// looks like one, else nothing: what the programs say first, before a value or an
// operand that is missing.
std::string UnknownOption(const std::vector<std::string>& rest, const std::vector<std::string>& optionNames);

// The arguments that no option or operand took, as CLI11 leaves them: unknown options
// first; after "--" every word is an operand.
std::string Leftover(const std::vector<std::string>& rest, const std::string& oneOperand,
                     const std::vector<std::string>& optionNames);

// What is wrong with a value, when that is what `error` of a parse of `scope` is about:
// a value missing after `lastWord` (the command line's last word, an option), said
// by the option's own check of an empty value; a value refused, said by the check
// that refuses it (CLI11 puts the option's name in front of the check's message).
// Empty for any other error.
std::string ValueProblem(const CLI::App& scope, const CLI::Error& error, const std::string& lastWord);

}  // namespace quarvel::cmdline
