#include "settings/settings_file.h"

#include <vector>

namespace quarvel {
namespace {

namespace stdfs = std::filesystem;
namespace names = settings_names;

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
    void ReadColor(std::string_view key, COLORREF& out) const {
        if (std::string text = Raw(key); !text.empty()) out = ProfileToColor(text);
    }

private:
    std::string Raw(std::string_view key) const { return file_.Value(section_, key).value_or(std::string()); }

    const ProfileReader& file_;
    std::string_view section_;
};

void ReadGeneral(const ProfileReader& file, GeneralSettings& settings) {
    const SectionReader in(file, names::kGeneral);
    in.ReadColor(names::kColFore, settings.colFore);
    in.ReadColor(names::kColBack, settings.colBack);
    in.Read(names::kMargin, settings.iMargin);
    in.Read(names::kSpace, settings.bSpace);
}

void ReadCommon(const ProfileReader& file, std::string_view section, CommonSettings& settings) {
    const SectionReader in(file, section);
    in.Read(names::kSepalaterStart1, settings.strSepalaterStart1);
    in.Read(names::kSepalaterStart2, settings.strSepalaterStart2);
    in.Read(names::kSepalaterStart3, settings.strSepalaterStart3);
    in.Read(names::kSepalaterEnd1, settings.strSepalaterEnd1);
    in.Read(names::kSepalaterEnd2, settings.strSepalaterEnd2);
    in.Read(names::kSepalaterEnd3, settings.strSepalaterEnd3);
    in.Read(names::kBackup, settings.bBackup);
    in.Read(names::kCode, settings.iCode);
}

void ReadFolderPage(const ProfileReader& file, FolderPageSettings& settings) {
    const SectionReader in(file, names::kFolderPage);
    in.Read(names::kFileFilter, settings.strFileFilter);
    in.Read(names::kSubFolder, settings.bSubFolder);
    ReadCommon(file, names::kFolderPage, settings.common);
}

// Reads the file once and, when it is a settings file, hands it to `read`.
template <typename Read>
SettingsLoadResult Load(const stdfs::path& path, Read read) {
    const ProfileReader file(path);
    if (!file.IsRead()) return SettingsLoadResult::unreadable;
    if (!file.HasSection(names::kGeneral) && !file.HasSection(names::kFilePage) &&
        !file.HasSection(names::kFolderPage))
        return SettingsLoadResult::noSettings;
    read(file);
    return SettingsLoadResult::loaded;
}

// Collects the keys of one save in order; the texts live as long as the collector.
class EntryList {
public:
    void Add(std::string_view section, std::string_view key, std::string value) {
        keys_.push_back({section, key});
        values_.push_back(std::move(value));
    }
    void AddGeneral(const GeneralSettings& s) {
        Add(names::kGeneral, names::kColFore, ColorToProfile(s.colFore));
        Add(names::kGeneral, names::kColBack, ColorToProfile(s.colBack));
        Add(names::kGeneral, names::kMargin, IntToProfile(s.iMargin));
        Add(names::kGeneral, names::kSpace, BoolToProfile(s.bSpace));
    }
    void AddCommon(std::string_view section, const CommonSettings& s) {
        Add(section, names::kSepalaterStart1, QuoteProfileString(s.strSepalaterStart1));
        Add(section, names::kSepalaterStart2, QuoteProfileString(s.strSepalaterStart2));
        Add(section, names::kSepalaterStart3, QuoteProfileString(s.strSepalaterStart3));
        Add(section, names::kSepalaterEnd1, QuoteProfileString(s.strSepalaterEnd1));
        Add(section, names::kSepalaterEnd2, QuoteProfileString(s.strSepalaterEnd2));
        Add(section, names::kSepalaterEnd3, QuoteProfileString(s.strSepalaterEnd3));
        Add(section, names::kBackup, BoolToProfile(s.bBackup));
        Add(section, names::kCode, IntToProfile(s.iCode));
    }
    void AddFolderPage(const FolderPageSettings& s) {
        Add(names::kFolderPage, names::kFileFilter, QuoteProfileString(s.strFileFilter));
        Add(names::kFolderPage, names::kSubFolder, BoolToProfile(s.bSubFolder));
        AddCommon(names::kFolderPage, s.common);
    }

    ProfileWriteResult Write(const stdfs::path& path) const {
        std::vector<ProfileEntry> entries;
        entries.reserve(keys_.size());
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            entries.push_back({keys_[i].first, keys_[i].second, values_[i]});
        }
        return WriteProfileValues(path, entries);
    }

private:
    std::vector<std::pair<std::string_view, std::string_view>> keys_;
    std::vector<std::string> values_;
};

}  // namespace

SettingsLoadResult LoadGeneralSettings(const stdfs::path& path, GeneralSettings& settings) {
    return Load(path, [&](const ProfileReader& file) { ReadGeneral(file, settings); });
}

SettingsLoadResult LoadCommonSettings(const stdfs::path& path, std::string_view section,
                                      CommonSettings& settings) {
    return Load(path, [&](const ProfileReader& file) { ReadCommon(file, section, settings); });
}

SettingsLoadResult LoadFolderPageSettings(const stdfs::path& path, FolderPageSettings& settings) {
    return Load(path, [&](const ProfileReader& file) { ReadFolderPage(file, settings); });
}

SettingsLoadResult LoadAllSettings(const stdfs::path& path, AllSettings& settings) {
    return Load(path, [&](const ProfileReader& file) {
        ReadCommon(file, names::kFilePage, settings.filePage);
        ReadFolderPage(file, settings.folderPage);
        ReadGeneral(file, settings.general);
    });
}

ProfileWriteResult SaveGeneralSettings(const stdfs::path& path, const GeneralSettings& settings) {
    EntryList list;
    list.AddGeneral(settings);
    return list.Write(path);
}

ProfileWriteResult SaveCommonSettings(const stdfs::path& path, std::string_view section,
                                      const CommonSettings& settings) {
    EntryList list;
    list.AddCommon(section, settings);
    return list.Write(path);
}

ProfileWriteResult SaveFolderPageSettings(const stdfs::path& path,
                                          const FolderPageSettings& settings) {
    EntryList list;
    list.AddFolderPage(settings);
    return list.Write(path);
}

ProfileWriteResult SaveAllSettings(const stdfs::path& path, const AllSettings& settings) {
    EntryList list;
    list.AddCommon(names::kFilePage, settings.filePage);
    list.AddFolderPage(settings.folderPage);
    list.AddGeneral(settings.general);
    return list.Write(path);
}

}  // namespace quarvel
