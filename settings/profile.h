#pragma once
// Reading and writing single values of an INI file ("profile"), with the rules of the
// Windows profile functions that settings files written by the program rely on, and
// the text encodings of the values.
//
// All texts are byte strings in code page 932, as they stand in the file; paths are
// native. A file is a sequence of lines ending in CR LF, LF or CR; a UTF-8 byte-order
// mark at its start is not part of the first line's text. A line whose text,
// without surrounding blanks, starts with '[' and holds a ']' heads a section named by
// what lies between the '[' and the last ']'. A line holding '=' inside a section is a
// key line: the key is the text before the first '=', the value the text after it,
// both without surrounding blanks. Every other line (comments, blank lines, keys
// before the first section) belongs to no key. Section and key names are compared
// without regard to the case of ASCII letters. When a section or a key occurs more
// than once, the first one counts.

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/failure.h"

#include "platform/color.h"

namespace quarvel::settings {

// Longest value, in bytes, that ProfileReader::Value hands back.
inline constexpr std::size_t kMaxProfileValueLength = 511;

class ProfileIndex;

// A file read once, for any number of values: one pass over it finds every section
// and key line.
class ProfileReader {
public:
    // A missing file, or one that cannot be read, reads as empty.
    explicit ProfileReader(const std::filesystem::path& path);
    ~ProfileReader();
    ProfileReader(const ProfileReader&) = delete;
    ProfileReader& operator=(const ProfileReader&) = delete;

    // Why the file could not be read; nothing when it was.
    const std::optional<Failure>& ReadFailure() const { return failure_; }
    bool HasSection(std::string_view section) const;
    // The value of `key` in `section`, or nothing when the file, the section or the key
    // is missing. One pair of equal quotation marks (double or single) enclosing the
    // whole value is removed; the result is cut to kMaxProfileValueLength bytes; a key
    // with nothing after its '=' gives "".
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    // The text of a string setting (a separator, the file filter) as the program writes
    // it: what the double quotes enclosing the whole value hold, double quotes inside
    // included; a value not so enclosed goes through UnquoteProfileString, as such values
    // always did. Nothing when the file, the section or the key is missing.
    std::optional<std::string> StringValue(std::string_view section, std::string_view key) const;

private:
    std::string text_;
    std::optional<Failure> failure_;
    std::unique_ptr<ProfileIndex> index_;  // refers into text_
};

struct ProfileEntry {
    std::string_view section;
    std::string_view key;
    std::string_view value;
    // Only a key the file already has (or an earlier entry of the same write added)
    // takes the value; a missing key stays missing, its section untouched.
    bool onlyWhenPresent = false;
};

// The outcome of a write; `message` (UTF-8, names the path) says what failed.

// Sets keys, each as follows: an existing key line gets the new value in place (the line's key
// spelling and line ending are kept); a new key goes at the end of its section, after
// the section's last non-blank line; a new section goes at the end of the file; a
// missing file is created. Lines the call adds end in CR LF; every other line keeps its
// bytes. Each line break (CR LF, CR or LF) in the value is written as one space.
//
// The file is replaced as a whole through a temporary file in the same folder, keeping
// the permission bits of the old file, so a failed write leaves it as it was; a file
// without any write permission bit is read-only and refused (see
// fs::FileSystem::ReplaceAtomically). A symbolic link stays a link. Section
// names must not be empty, hold ']', line breaks or surrounding blanks, nor end in a
// lone lead byte; key names the same (a lone lead byte is fine there) without '=' and
// not starting with '['; other names are refused unwritten.
//
// The entries are set in order, in one replacement of the file: either all or none of
// them land, and the file is read and split only once.
Result<void> WriteProfileValues(const std::filesystem::path& path, std::span<const ProfileEntry> entries);

// Value encodings.

// "TRUE" or "FALSE".
std::string BoolToProfile(bool value);
// True only for "TRUE" in any case with blanks around it.
bool ProfileToBool(std::string_view text);

// Signed decimal.
std::string IntToProfile(int value);
// Like atol: leading blanks, an optional sign, then the digits up to the first other
// character; no digits give 0, values beyond the range of int are clamped to it.
int ProfileToInt(std::string_view text);

// "#" and six upper-case hexadecimal digits that run blue, green, red (pure red is
// "#0000FF"), the way the program has always written colours.
std::string ColorToProfile(platform::Color color);
// "#" followed by up to six hexadecimal digits of either case, read as a number whose
// lowest byte is red, then green, then blue ("#ff" is pure red); anything else is
// black.
platform::Color ProfileToColor(std::string_view text);

// The text with one double quote added in front and one behind; nothing is escaped.
std::string QuoteProfileString(std::string_view text);
// What lies strictly between the first and the last double quote when the text holds
// at least two of them, else the text unchanged.
std::string UnquoteProfileString(std::string_view text);

}  // namespace quarvel::settings
