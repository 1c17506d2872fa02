#include "app/core/profile.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/codec.h"
#include "platform/fs.h"

namespace quarvel {
namespace {

namespace stdfs = std::filesystem;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Case-blind comparison of names; the second byte of a double-byte character is
// compared as it is, since it may fall in the range of ASCII letters.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

// Position of the last ']' that is a character of its own, not the second byte of a
// double-byte character.
std::size_t LastCloseBracket(std::string_view s) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
            ++i;
        } else if (s[i] == ']') {
            found = i;
        }
    }
    return found;
}

enum class LineKind { kOther, kSection, kKey };

struct Line {
    std::size_t begin = 0;  // first byte of the line
    std::size_t end = 0;    // end of its text, before the line ending
    std::size_t next = 0;   // first byte after the line ending
    LineKind kind = LineKind::kOther;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        std::size_t lf = text.find('\n', pos);
        line.next = lf == std::string_view::npos ? text.size() : lf + 1;
        line.end = lf == std::string_view::npos ? text.size() : lf;
        if (line.end > line.begin && text[line.end - 1] == '\r') --line.end;
        pos = line.next;

        std::string_view body = Trim(text.substr(line.begin, line.end - line.begin));
        if (!body.empty() && body.front() == '[') {
            std::size_t close = LastCloseBracket(body);
            if (close != std::string_view::npos) {
                line.kind = LineKind::kSection;
                line.name = Trim(body.substr(1, close - 1));
            }
        } else if (std::size_t eq = body.find('='); eq != std::string_view::npos) {
            line.kind = LineKind::kKey;
            line.name = Trim(body.substr(0, eq));
            line.value = Trim(body.substr(eq + 1));
        }
        lines.push_back(line);
    }
    return lines;
}

// Where a key stands in the lines of a file, or where it would go.
struct KeyLocation {
    std::optional<std::size_t> section;  // index of the section's header line
    std::optional<std::size_t> key;      // index of the key's line
    std::size_t last_filled = 0;         // index of the section's last non-blank line
};

KeyLocation FindKey(const std::vector<Line>& lines, std::string_view text, std::string_view section,
                    std::string_view key) {
    KeyLocation loc;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::kSection) {
            if (loc.section) break;  // the end of the first matching section
            if (SameName(line.name, section)) {
                loc.section = i;
                loc.last_filled = i;
            }
            continue;
        }
        if (!loc.section) continue;
        if (line.kind == LineKind::kKey && SameName(line.name, key)) {
            loc.key = i;
            return loc;
        }
        if (!Trim(text.substr(line.begin, line.end - line.begin)).empty()) loc.last_filled = i;
    }
    return loc;
}

std::string_view StripEnclosingQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string OneLine(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' || value[i] == '\n') {
            if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            out += ' ';
        } else {
            out += value[i];
        }
    }
    return out;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::optional<std::string> CheckNames(std::string_view section, std::string_view key) {
    auto bad = [](std::string_view name) {
        return name.empty() || HasLineBreak(name) || IsBlank(name.front()) || IsBlank(name.back());
    };
    // A lead byte last would take the ']' after it as its second byte.
    auto ends_in_lead_byte = [](std::string_view name) {
        std::size_t i = 0;
        while (i < name.size()) i += IsLeadByte(static_cast<unsigned char>(name[i])) ? 2 : 1;
        return i > name.size();
    };
    if (bad(section) || section.find(']') != std::string_view::npos || ends_in_lead_byte(section)) {
        return "invalid section name \"" + std::string(section) + "\"";
    }
    if (bad(key) || key.find('=') != std::string_view::npos || key.front() == '[') {
        return "invalid key name \"" + std::string(key) + "\"";
    }
    return std::nullopt;
}

// Sets one key in the text of a file.
void SetValue(std::string& text, std::string_view section, std::string_view key,
              std::string_view value) {
    const std::vector<Line> lines = SplitLines(text);
    const KeyLocation loc = FindKey(lines, text, section, key);
    const std::string clean = OneLine(value);

    if (loc.key) {
        const Line& line = lines[*loc.key];
        std::string replacement = std::string(line.name) + "=" + clean;
        text.replace(line.begin, line.end - line.begin, replacement);
        return;
    }
    const std::string key_line = std::string(key) + "=" + clean + "\r\n";
    if (loc.section) {
        const Line& after = lines[loc.last_filled];
        const bool ends_line = after.next > after.begin && text[after.next - 1] == '\n';
        text.insert(after.next, ends_line ? key_line : "\r\n" + key_line);
        return;
    }
    if (!text.empty() && text.back() != '\n') text += "\r\n";
    text += '[';
    text += section;
    text += "]\r\n";
    text += key_line;
}

}  // namespace

std::string ReadProfileValue(const stdfs::path& path, std::string_view section,
                             std::string_view key, std::string_view default_value) {
    std::string text;
    if (fs::RealFileSystem().ReadWhole(path.string(), text) != fs::ReadResult::ok) {
        return std::string(default_value);
    }
    const std::vector<Line> lines = SplitLines(text);
    const KeyLocation loc = FindKey(lines, text, section, key);
    if (!loc.key) return std::string(default_value);
    std::string_view value = StripEnclosingQuotes(lines[*loc.key].value);
    return std::string(value.substr(0, kMaxProfileValueLength));
}

ProfileWriteResult WriteProfileValue(const stdfs::path& path, std::string_view section,
                                     std::string_view key, std::string_view value) {
    const ProfileEntry entry{section, key, value};
    return WriteProfileValues(path, std::span(&entry, 1));
}

ProfileWriteResult WriteProfileValues(const stdfs::path& path,
                                      std::span<const ProfileEntry> entries) {
    for (const ProfileEntry& entry : entries) {
        if (auto problem = CheckNames(entry.section, entry.key)) {
            return {false, "cannot write " + path.string() + ": " + *problem};
        }
    }
    fs::FileSystem& files = fs::RealFileSystem();
    const std::string name = path.string();
    std::string text;
    switch (files.Status(name)) {
        case fs::Kind::none:
            break;  // a new file
        case fs::Kind::file:
            if (files.ReadWhole(name, text) != fs::ReadResult::ok)
                return {false, "cannot read " + name};
            break;
        default:
            return {false, "cannot write " + name + ": not a file"};
    }

    for (const ProfileEntry& entry : entries) SetValue(text, entry.section, entry.key, entry.value);
    switch (files.ReplaceAtomically(name, text)) {
        case fs::WriteResult::ok:
            return {};
        case fs::WriteResult::readOnly:
            return {false, "cannot write " + name + ": the file is read-only"};
        default:
            return {false, "cannot write " + name};
    }
}

std::string BoolToProfile(bool value) { return value ? "TRUE" : "FALSE"; }

bool ProfileToBool(std::string_view text) {
    text = Trim(text);
    return SameName(text, "TRUE");
}

std::string IntToProfile(int value) { return std::to_string(value); }

int ProfileToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;  // clamped below anyway
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

std::string ColorToProfile(COLORREF color) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%06X", static_cast<unsigned>(color));
    return buffer;
}

COLORREF ProfileToColor(std::string_view text) {
    if (text.empty() || text.front() != '#') return 0;
    COLORREF value = 0;
    for (std::size_t i = 1; i < text.size() && i <= 6; ++i) {
        char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        value = (value << 4) | digit;
    }
    return value;
}

std::string QuoteProfileString(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string UnquoteProfileString(std::string_view text) {
    std::size_t first = text.find('"');
    std::size_t last = text.rfind('"');
    if (first == std::string_view::npos || first == last) return std::string(text);
    return std::string(text.substr(first + 1, last - first - 1));
}

}  // namespace quarvel
