#include "settings/profile.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "platform/codec.h"
#include "platform/fs.h"

namespace quarvel::settings {

using platform::Color;
using platform::IsLeadByte;
using platform::kBlack;
namespace fs = platform::fs;

namespace {

namespace stdfs = std::filesystem;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n'; }

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

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

enum class LineKind { kSection, kKey };

// A line of the file that names something: a section header or a key line inside a
// section. Blank lines, comments and keys before the first section name nothing and
// are not kept, so a file of millions of blank lines costs nothing here.
struct NamedLine {
    std::size_t begin = 0;  // first byte of the line (after a byte-order mark)
    std::size_t end = 0;    // end of its text, before the line ending
    LineKind kind = LineKind::kKey;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
    // Of a section header: the end (with its line ending) of the section's last
    // non-blank line, where a new key of the section goes.
    std::size_t filled_end = 0;
};

}  // namespace

// The named lines of a file's text, found in one pass; the text must outlive it.
class ProfileIndex {
public:
    explicit ProfileIndex(std::string_view text) {
        std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
        std::optional<std::size_t> section;  // index of the header of the present section
        while (pos < text.size()) {
            const std::size_t begin = pos;
            std::size_t end = begin;
            while (end < text.size() && !IsLineEnd(text[end])) ++end;
            std::size_t next = end;
            if (next < text.size())
                next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
            pos = next;

            const std::string_view body = Trim(text.substr(begin, end - begin));
            if (body.empty()) continue;
            if (body.front() == '[') {
                if (std::size_t close = LastCloseBracket(body); close != std::string_view::npos) {
                    section = lines_.size();
                    lines_.push_back({begin, end, LineKind::kSection, Trim(body.substr(1, close - 1)), {}, next});
                    continue;
                }
            }
            if (!section) continue;
            lines_[*section].filled_end = next;
            if (std::size_t eq = body.find('='); eq != std::string_view::npos)
                lines_.push_back({begin, end, LineKind::kKey, Trim(body.substr(0, eq)), Trim(body.substr(eq + 1)), 0});
        }
    }

    const NamedLine& operator[](std::size_t i) const { return lines_[i]; }

    // The header of the first section of that name.
    std::optional<std::size_t> FindSection(std::string_view name) const {
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].kind == LineKind::kSection && SameName(lines_[i].name, name)) return i;
        return std::nullopt;
    }
    // The first line of the key in the section whose header is at `section`.
    std::optional<std::size_t> FindKey(std::size_t section, std::string_view key) const {
        for (std::size_t i = section + 1; i < lines_.size() && lines_[i].kind == LineKind::kKey; ++i)
            if (SameName(lines_[i].name, key)) return i;
        return std::nullopt;
    }

private:
    std::vector<NamedLine> lines_;
};

namespace {

std::string_view StripEnclosingQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
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

// A key and its new value, as a line gives them.
struct KeyValue {
    std::string_view key;
    std::string value;
};

KeyValue* FindPending(std::vector<KeyValue>& keys, std::string_view key) {
    for (KeyValue& k : keys)
        if (SameName(k.key, key)) return &k;
    return nullptr;
}

void AppendKeyLine(std::string& out, const KeyValue& k) {
    out += k.key;
    out += '=';
    out += k.value;
    out += "\r\n";
}

// The changes that a set of entries makes to a file, collected before any is made.
struct PendingChanges {
    std::map<std::size_t, std::string> replaced;                               // key line -> new value
    std::map<std::size_t, std::vector<KeyValue>> added;                        // section header -> new keys
    std::vector<std::pair<std::string_view, std::vector<KeyValue>>> sections;  // new sections
};

PendingChanges CollectChanges(const ProfileIndex& index, std::span<const ProfileEntry> entries) {
    PendingChanges changes;
    for (const ProfileEntry& entry : entries) {
        std::string clean = OneLine(entry.value);
        if (const auto section = index.FindSection(entry.section)) {
            if (const auto key = index.FindKey(*section, entry.key)) {
                changes.replaced[*key] = std::move(clean);
            } else if (KeyValue* pending = FindPending(changes.added[*section], entry.key)) {
                pending->value = std::move(clean);
            } else if (!entry.onlyWhenPresent) {
                changes.added[*section].push_back({entry.key, std::move(clean)});
            }
            continue;
        }
        auto& sections = changes.sections;
        auto it = std::find_if(sections.begin(), sections.end(),
                               [&](const auto& s) { return SameName(s.first, entry.section); });
        if (it == sections.end()) {
            if (entry.onlyWhenPresent) continue;
            it = sections.insert(sections.end(), {entry.section, {}});
        }
        if (KeyValue* pending = FindPending(it->second, entry.key))
            pending->value = std::move(clean);
        else if (!entry.onlyWhenPresent)
            it->second.push_back({entry.key, std::move(clean)});
    }
    return changes;
}

// The text of a file with all entries set, as if they were set one after another: the
// file is split once, the changes are collected, and the new text is built in one go.
std::string SetValues(std::string_view text, std::span<const ProfileEntry> entries) {
    const ProfileIndex index(text);
    PendingChanges pending = CollectChanges(index, entries);

    // Changes in the order of their places in the text: a key line is replaced from
    // its first byte to its line ending, new keys of a section go behind its last
    // non-blank line.
    struct Change {
        std::size_t at;
        std::size_t resume;  // where the old text goes on
        std::size_t line;    // the key line or the section header
        bool replace;
    };
    std::vector<Change> changes;
    for (const auto& [line, value] : pending.replaced)
        changes.push_back({index[line].begin, index[line].end, line, true});
    for (const auto& [header, keys] : pending.added) {
        if (!keys.empty()) changes.push_back({index[header].filled_end, index[header].filled_end, header, false});
    }
    std::sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) { return a.at < b.at; });

    std::string out;
    out.reserve(text.size() + 64 * entries.size());
    std::size_t copied = 0;
    for (const Change& change : changes) {
        out.append(text.substr(copied, change.at - copied));
        if (change.replace) {
            out += index[change.line].name;
            out += '=';
            out += pending.replaced[change.line];
        } else {
            if (change.at == 0 || !IsLineEnd(text[change.at - 1])) out += "\r\n";
            for (const KeyValue& k : pending.added[change.line]) AppendKeyLine(out, k);
        }
        copied = change.resume;
    }
    out.append(text.substr(copied));
    for (const auto& [name, keys] : pending.sections) {
        if (!out.empty() && !IsLineEnd(out.back())) out += "\r\n";
        out += '[';
        out += name;
        out += "]\r\n";
        for (const KeyValue& k : keys) AppendKeyLine(out, k);
    }
    return out;
}

}  // namespace

ProfileReader::ProfileReader(const stdfs::path& path) {
    Result<std::string> read = fs::RealFileSystem().ReadWhole(path.string());
    if (!read) {
        failure_ = read.failure();
        return;
    }
    text_ = std::move(*read);
    index_ = std::make_unique<ProfileIndex>(text_);
}

ProfileReader::~ProfileReader() = default;

bool ProfileReader::HasSection(std::string_view section) const {
    return index_ && index_->FindSection(section).has_value();
}

std::optional<std::string> ProfileReader::Value(std::string_view section, std::string_view key) const {
    if (!index_) return std::nullopt;
    const auto header = index_->FindSection(section);
    const auto line = header ? index_->FindKey(*header, key) : std::nullopt;
    if (!line) return std::nullopt;
    const std::string_view value = StripEnclosingQuotes((*index_)[*line].value);
    return std::string(value.substr(0, kMaxProfileValueLength));
}

std::optional<std::string> ProfileReader::StringValue(std::string_view section, std::string_view key) const {
    if (!index_) return std::nullopt;
    const auto header = index_->FindSection(section);
    const auto line = header ? index_->FindKey(*header, key) : std::nullopt;
    if (!line) return std::nullopt;
    const std::string_view raw = (*index_)[*line].value;
    const std::string_view value = StripEnclosingQuotes(raw);
    if (value.size() != raw.size() && raw.front() == '"') return std::string(value.substr(0, kMaxProfileValueLength));
    return UnquoteProfileString(value.substr(0, kMaxProfileValueLength));
}

Result<void> WriteProfileValues(const stdfs::path& path, std::span<const ProfileEntry> entries) {
    const std::string name = path.string();
    for (const ProfileEntry& entry : entries) {
        // A name that the file could not hold is the caller's mistake.
        if (auto problem = CheckNames(entry.section, entry.key))
            return Failure{Failure::What::badSettingsName, name, 0, *problem};
    }
    fs::FileSystem& files = fs::RealFileSystem();
    std::string text;
    switch (files.Status(name)) {
    case fs::Kind::none: break;  // a new file
    case fs::Kind::file: {
        Result<std::string> read = files.ReadWhole(name);
        if (!read) return read.failure();
        text = std::move(*read);
        break;
    }
    default: return Failure{Failure::What::notWritten, name};
    }
    return files.ReplaceFile(name, SetValues(text, entries));
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

std::string ColorToProfile(Color color) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", color.blue, color.green, color.red);
    return buffer;
}

Color ProfileToColor(std::string_view text) {
    if (text.empty() || text.front() != '#') return kBlack;
    std::uint32_t value = 0;
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
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>((value >> 8) & 0xFF),
            static_cast<std::uint8_t>((value >> 16) & 0xFF)};
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

}  // namespace quarvel::settings
