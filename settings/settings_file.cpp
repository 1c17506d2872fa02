#include "settings/settings_file.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "engine/document_code.h"

namespace quarvel::settings {

using engine::DocumentCode;
using engine::Separators;

using render::Appearance;
using render::PngForm;

using platform::Color;

namespace {

namespace stdfs = std::filesystem;

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The forms the program writes, and the readers take whole: TRUE or FALSE in any case;
// a whole number within int; '#' and one to six hexadecimal digits.
bool IsBool(std::string_view text) {
    text = TrimBlanks(text);
    auto same = [text](std::string_view word) {
        return text.size() == word.size() && std::equal(text.begin(), text.end(), word.begin(), [](char a, char b) {
                   return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
               });
    };
    return same("TRUE") || same("FALSE");
}

bool IsWholeNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (text.starts_with('+') && !text.starts_with("+-")) text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// The name a settings file gives a code that has no number.
std::string_view CodeNameOf(DocumentCode code) { return code == DocumentCode::automatic ? "auto" : "utf-8"; }

bool IsColor(std::string_view text) {
    return text.size() >= 2 && text.size() <= 7 && text.front() == '#' &&
           std::all_of(text.begin() + 1, text.end(), IsHexDigit);
}

// Reads one key of a section; an empty value leaves the member unchanged. A value not
// in a form the program writes is noted with what the member became.
class SectionReader {
public:
    SectionReader(const ProfileReader& file, std::string_view section, std::vector<ValueNotUnderstood>& notes)
        : file_(file), section_(section), notes_(notes) {}

    void Read(std::string_view key, std::string& out) const {
        if (std::string text = file_.StringValue(section_, key).value_or(std::string()); !text.empty()) out = text;
    }
    void Read(std::string_view key, bool& out) const {
        if (std::string text = Raw(key); !text.empty()) {
            out = ProfileToBool(text);
            Note(key, text, IsBool(text), BoolToProfile(out));
        }
    }
    void Read(std::string_view key, int& out) const {
        if (std::string text = Raw(key); !text.empty()) {
            out = ProfileToInt(text);
            Note(key, text, IsWholeNumber(text), IntToProfile(out));
        }
    }
    // A number within [lo, hi]; one outside is taken as the nearest end.
    void Read(std::string_view key, int& out, int lo, int hi) const {
        if (std::string text = Raw(key); !text.empty()) {
            const int value = ProfileToInt(text);
            out = std::clamp(value, lo, hi);
            Note(key, text, IsWholeNumber(text) && value == out, IntToProfile(out));
        }
    }
    void Read(std::string_view key, Color& out) const {
        if (std::string text = Raw(key); !text.empty()) {
            out = ProfileToColor(text);
            Note(key, text, IsColor(text), ColorToProfile(out));
        }
    }
    void Read(std::string_view key, PngForm& out) const {
        if (std::string text = Raw(key); !text.empty()) {
            out = ProfileToBool(text) ? PngForm::indexed : PngForm::rgb;
            Note(key, text, IsBool(text), BoolToProfile(out == PngForm::indexed));
        }
    }
    // Any number is kept, as the window shows it (no button chosen); every code but
    // EUC-JP reads as Shift-JIS. -1 is the window's own "none".
    void Read(std::string_view key, DocumentCode& out) const {
        if (std::string text = Raw(key); !text.empty()) {
            out = static_cast<DocumentCode>(ProfileToInt(text));
            // The numbers of the codes kept by name read as Shift-JIS, as every other
            // number always did.
            if (out == DocumentCode::utf8 || out == DocumentCode::automatic) out = DocumentCode::shiftJis;
            const bool known = out == DocumentCode::shiftJis || out == DocumentCode::eucJp || out == DocumentCode::none;
            Note(key, text, IsWholeNumber(text) && known,
                 IntToProfile(static_cast<int>(out == DocumentCode::eucJp ? out : DocumentCode::shiftJis)));
        }
    }
    // The codes that have no number: only "utf-8" and "auto" change the code; an
    // empty value leaves iCode's.
    void ReadCodeName(std::string_view key, DocumentCode& out) const {
        const std::string text = Raw(key);
        if (text.empty()) return;
        std::string name = UnquoteProfileString(text);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        if (name == "utf-8" || name == "utf8")
            out = DocumentCode::utf8;
        else if (name == "auto")
            out = DocumentCode::automatic;
        Note(key, text, name.empty() || out == DocumentCode::utf8 || out == DocumentCode::automatic,
             std::string(engine::CodeName(out)));
    }
    void Read(const std::array<std::string_view, 3>& keys, Separators& out) const {
        for (std::size_t i = 0; i < keys.size(); ++i) Read(keys[i], out[i]);
    }

private:
    std::string Raw(std::string_view key) const { return file_.Value(section_, key).value_or(std::string()); }
    void Note(std::string_view key, const std::string& text, bool understood, std::string used) const {
        if (!understood) notes_.push_back({std::string(section_), std::string(key), text, std::move(used)});
    }

    const ProfileReader& file_;
    std::string_view section_;
    std::vector<ValueNotUnderstood>& notes_;
};

void ReadGeneral(const ProfileReader& file, Appearance& look, PngForm& pngForm,
                 std::vector<ValueNotUnderstood>& notes) {
    const SectionReader in(file, keys::kGeneral, notes);
    in.Read(keys::kTextColor, look.textColor);
    in.Read(keys::kBackColor, look.backColor);
    in.Read(keys::kMargin, look.margin);
    in.Read(keys::kCollapseSpaces, look.collapseSpaces);
    in.Read(keys::kIndexedPng, pngForm);
    in.Read(keys::kScale, look.scale, 1, render::kMaxScale);
    in.Read(keys::kTransparentBack, look.transparentBack);
}

void ReadCommon(const ProfileReader& file, std::string_view section, CommonSettings& settings,
                std::vector<ValueNotUnderstood>& notes) {
    const SectionReader in(file, section, notes);
    in.Read(keys::kStartSeparators, settings.startSeparators);
    in.Read(keys::kEndSeparators, settings.endSeparators);
    in.Read(keys::kBackup, settings.backup);
    in.Read(keys::kCode, settings.code);
    in.ReadCodeName(keys::kCodeName, settings.code);
    in.Read(keys::kLineBreaks, settings.lineBreaks);
}

void ReadFolderPage(const ProfileReader& file, FolderPageSettings& settings, std::vector<ValueNotUnderstood>& notes) {
    const SectionReader in(file, keys::kFolderPage, notes);
    in.Read(keys::kFileFilter, settings.fileFilter);
    in.Read(keys::kSubFolders, settings.subFolders);
    ReadCommon(file, keys::kFolderPage, settings.common, notes);
}

// Reads the file once and, when it is a settings file, hands it to `read`.
template <typename Read>
Result<SettingsLoad> Load(const stdfs::path& path, Read read) {
    const ProfileReader file(path);
    if (file.ReadFailure()) return *file.ReadFailure();
    SettingsLoad load;
    load.settingsFile =
        file.HasSection(keys::kGeneral) || file.HasSection(keys::kFilePage) || file.HasSection(keys::kFolderPage);
    if (load.settingsFile) read(file, load.notUnderstood);
    return load;
}

// Collects the keys of one save in order; the texts live as long as the collector.
class EntryList {
public:
    void Add(std::string_view section, std::string_view key, std::string value, bool onlyWhenPresent = false) {
        keys_.push_back({section, key, onlyWhenPresent});
        values_.push_back(std::move(value));
    }
    void AddGeneral(const Appearance& look, PngForm pngForm) {
        Add(keys::kGeneral, keys::kTextColor, ColorToProfile(look.textColor));
        Add(keys::kGeneral, keys::kBackColor, ColorToProfile(look.backColor));
        Add(keys::kGeneral, keys::kMargin, IntToProfile(look.margin));
        Add(keys::kGeneral, keys::kCollapseSpaces, BoolToProfile(look.collapseSpaces));
        const bool indexed = pngForm == PngForm::indexed;
        Add(keys::kGeneral, keys::kIndexedPng, BoolToProfile(indexed), !indexed);
        Add(keys::kGeneral, keys::kScale, IntToProfile(look.scale), look.scale == 1);
        Add(keys::kGeneral, keys::kTransparentBack, BoolToProfile(look.transparentBack), !look.transparentBack);
    }
    void AddCommon(std::string_view section, const CommonSettings& s) {
        for (std::size_t i = 0; i < 3; ++i)
            Add(section, keys::kStartSeparators[i], QuoteProfileString(s.startSeparators[i]));
        for (std::size_t i = 0; i < 3; ++i)
            Add(section, keys::kEndSeparators[i], QuoteProfileString(s.endSeparators[i]));
        Add(section, keys::kBackup, BoolToProfile(s.backup));
        const bool named = s.code == DocumentCode::utf8 || s.code == DocumentCode::automatic;
        Add(section, keys::kCode, IntToProfile(named ? 0 : static_cast<int>(s.code)));
        // Written over a key the file has even when the code has a number, so that the
        // number holds again.
        Add(section, keys::kCodeName, QuoteProfileString(named ? std::string(CodeNameOf(s.code)) : std::string()),
            !named);
        Add(section, keys::kLineBreaks, BoolToProfile(s.lineBreaks), !s.lineBreaks);
    }
    void AddFolderPage(const FolderPageSettings& s) {
        Add(keys::kFolderPage, keys::kFileFilter, QuoteProfileString(s.fileFilter));
        Add(keys::kFolderPage, keys::kSubFolders, BoolToProfile(s.subFolders));
        AddCommon(keys::kFolderPage, s.common);
    }

    Result<void> Write(const stdfs::path& path) const {
        std::vector<ProfileEntry> entries;
        entries.reserve(keys_.size());
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            entries.push_back({keys_[i].section, keys_[i].key, values_[i], keys_[i].onlyWhenPresent});
        }
        return WriteProfileValues(path, entries);
    }

private:
    struct Key {
        std::string_view section;
        std::string_view key;
        bool onlyWhenPresent;
    };
    std::vector<Key> keys_;
    std::vector<std::string> values_;
};

}  // namespace

Result<SettingsLoad> LoadGeneralSettings(const stdfs::path& path, Appearance& look, PngForm& pngForm) {
    return Load(path, [&](const ProfileReader& file, auto& notes) { ReadGeneral(file, look, pngForm, notes); });
}

Result<SettingsLoad> LoadCommonSettings(const stdfs::path& path, std::string_view section, CommonSettings& settings) {
    return Load(path, [&](const ProfileReader& file, auto& notes) { ReadCommon(file, section, settings, notes); });
}

Result<SettingsLoad> LoadFolderPageSettings(const stdfs::path& path, FolderPageSettings& settings) {
    return Load(path, [&](const ProfileReader& file, auto& notes) { ReadFolderPage(file, settings, notes); });
}

bool HoldsSettingsKeys(const stdfs::path& path, std::initializer_list<std::string_view> sections) {
    const ProfileReader file(path);
    for (std::string_view section : sections) {
        std::vector<std::string_view> names;
        if (section == keys::kGeneral) {
            names = {keys::kTextColor,  keys::kBackColor, keys::kMargin,         keys::kCollapseSpaces,
                     keys::kIndexedPng, keys::kScale,     keys::kTransparentBack};
        } else {
            names.assign(keys::kStartSeparators.begin(), keys::kStartSeparators.end());
            names.insert(names.end(), keys::kEndSeparators.begin(), keys::kEndSeparators.end());
            names.insert(names.end(), {keys::kBackup, keys::kCode, keys::kCodeName, keys::kLineBreaks});
            if (section == keys::kFolderPage) names.insert(names.end(), {keys::kFileFilter, keys::kSubFolders});
        }
        for (std::string_view key : names) {
            if (!file.Value(section, key).value_or(std::string()).empty()) return true;
        }
    }
    return false;
}

Result<void> SaveGeneralSettings(const stdfs::path& path, const Appearance& look, PngForm pngForm) {
    EntryList list;
    list.AddGeneral(look, pngForm);
    return list.Write(path);
}

Result<void> SaveCommonSettings(const stdfs::path& path, std::string_view section, const CommonSettings& settings) {
    EntryList list;
    list.AddCommon(section, settings);
    return list.Write(path);
}

Result<void> SaveFolderPageSettings(const stdfs::path& path, const FolderPageSettings& settings) {
    EntryList list;
    list.AddFolderPage(settings);
    return list.Write(path);
}

}  // namespace quarvel::settings
