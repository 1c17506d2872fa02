#include "settings/settings_file.h"

#include <vector>

namespace quarvel {
namespace {

namespace stdfs = std::filesystem;
namespace keys = settings_keys;

// Reads one key of a section; an empty value leaves the member unchanged.
class SectionReader {
public:
    SectionReader(const ProfileReader& file, std::string_view section) : file_(file), section_(section) {}

    void Read(std::string_view key, std::string& out) const {
        if (std::string text = Raw(key); !text.empty()) out = UnquoteProfileString(text);
    }
    void Read(std::string_view key, bool& out) const {
        if (std::string text = Raw(key); !text.empty()) out = ProfileToBool(text);
    }
    void Read(std::string_view key, int& out) const {
        if (std::string text = Raw(key); !text.empty()) out = ProfileToInt(text);
    }
    void Read(std::string_view key, Color& out) const {
        if (std::string text = Raw(key); !text.empty()) out = ProfileToColor(text);
    }
    void Read(std::string_view key, PngForm& out) const {
        if (std::string text = Raw(key); !text.empty()) out = ProfileToBool(text) ? PngForm::indexed : PngForm::rgb;
    }
    void Read(std::string_view key, DocumentCode& out) const {
        if (std::string text = Raw(key); !text.empty()) out = static_cast<DocumentCode>(ProfileToInt(text));
    }
    void Read(const std::array<std::string_view, 3>& keys, Separators& out) const {
        for (std::size_t i = 0; i < keys.size(); ++i) Read(keys[i], out[i]);
    }

private:
    std::string Raw(std::string_view key) const { return file_.Value(section_, key).value_or(std::string()); }

    const ProfileReader& file_;
    std::string_view section_;
};

void ReadGeneral(const ProfileReader& file, Appearance& look, PngForm& pngForm) {
    const SectionReader in(file, keys::kGeneral);
    in.Read(keys::kTextColor, look.textColor);
    in.Read(keys::kBackColor, look.backColor);
    in.Read(keys::kMargin, look.margin);
    in.Read(keys::kCollapseSpaces, look.collapseSpaces);
    in.Read(keys::kIndexedPng, pngForm);
}

void ReadCommon(const ProfileReader& file, std::string_view section, CommonSettings& settings) {
    const SectionReader in(file, section);
    in.Read(keys::kStartSeparators, settings.startSeparators);
    in.Read(keys::kEndSeparators, settings.endSeparators);
    in.Read(keys::kBackup, settings.backup);
    in.Read(keys::kCode, settings.code);
}

void ReadFolderPage(const ProfileReader& file, FolderPageSettings& settings) {
    const SectionReader in(file, keys::kFolderPage);
    in.Read(keys::kFileFilter, settings.fileFilter);
    in.Read(keys::kSubFolders, settings.subFolders);
    ReadCommon(file, keys::kFolderPage, settings.common);
}

// Reads the file once and, when it is a settings file, hands it to `read`.
template <typename Read>
SettingsLoadResult Load(const stdfs::path& path, Read read) {
    const ProfileReader file(path);
    if (!file.IsRead()) return SettingsLoadResult::unreadable;
    if (!file.HasSection(keys::kGeneral) && !file.HasSection(keys::kFilePage) && !file.HasSection(keys::kFolderPage))
        return SettingsLoadResult::noSettings;
    read(file);
    return SettingsLoadResult::loaded;
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
    }
    void AddCommon(std::string_view section, const CommonSettings& s) {
        for (std::size_t i = 0; i < 3; ++i)
            Add(section, keys::kStartSeparators[i], QuoteProfileString(s.startSeparators[i]));
        for (std::size_t i = 0; i < 3; ++i)
            Add(section, keys::kEndSeparators[i], QuoteProfileString(s.endSeparators[i]));
        Add(section, keys::kBackup, BoolToProfile(s.backup));
        Add(section, keys::kCode, IntToProfile(static_cast<int>(s.code)));
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

SettingsLoadResult LoadGeneralSettings(const stdfs::path& path, Appearance& look, PngForm& pngForm) {
    return Load(path, [&](const ProfileReader& file) { ReadGeneral(file, look, pngForm); });
}

SettingsLoadResult LoadCommonSettings(const stdfs::path& path, std::string_view section, CommonSettings& settings) {
    return Load(path, [&](const ProfileReader& file) { ReadCommon(file, section, settings); });
}

SettingsLoadResult LoadFolderPageSettings(const stdfs::path& path, FolderPageSettings& settings) {
    return Load(path, [&](const ProfileReader& file) { ReadFolderPage(file, settings); });
}

SettingsLoadResult LoadAllSettings(const stdfs::path& path, AllSettings& settings) {
    return Load(path, [&](const ProfileReader& file) {
        ReadCommon(file, keys::kFilePage, settings.filePage);
        ReadFolderPage(file, settings.folderPage);
        ReadGeneral(file, settings.look, settings.pngForm);
    });
}

bool HoldsSettingsKeys(const stdfs::path& path, std::initializer_list<std::string_view> sections) {
    const ProfileReader file(path);
    for (std::string_view section : sections) {
        std::vector<std::string_view> names;
        if (section == keys::kGeneral) {
            names = {keys::kTextColor, keys::kBackColor, keys::kMargin, keys::kCollapseSpaces, keys::kIndexedPng};
        } else {
            names.assign(keys::kStartSeparators.begin(), keys::kStartSeparators.end());
            names.insert(names.end(), keys::kEndSeparators.begin(), keys::kEndSeparators.end());
            names.insert(names.end(), {keys::kBackup, keys::kCode});
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

Result<void> SaveAllSettings(const stdfs::path& path, const AllSettings& settings) {
    EntryList list;
    list.AddCommon(keys::kFilePage, settings.filePage);
    list.AddFolderPage(settings.folderPage);
    list.AddGeneral(settings.look, settings.pngForm);
    return list.Write(path);
}

}  // namespace quarvel
