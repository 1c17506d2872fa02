#pragma once
// The settings file whole and one value at a time, made of what the program itself
// calls (a page's section, the General section, several keys at once), for the tests,
// the fuzzer and the benchmarks.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "settings/profile.h"
#include "settings/settings_file.h"

namespace quarvel::test {

// The value of `key` in `section` as ProfileReader::Value gives it, or `default_value`
// when the file, the section or the key is missing or the file cannot be read.
inline std::string ReadProfileValue(const std::filesystem::path& path, std::string_view section, std::string_view key,
                                    std::string_view default_value = {}) {
    return settings::ProfileReader(path).Value(section, key).value_or(std::string(default_value));
}

// One key set, as settings::WriteProfileValues sets several.
inline Result<void> WriteProfileValue(const std::filesystem::path& path, std::string_view section,
                                      std::string_view key, std::string_view value) {
    const settings::ProfileEntry entry{section, key, value};
    return settings::WriteProfileValues(path, std::span(&entry, 1));
}

// TargetFilePage, TargetFolderPage, then General, one load each as the window loads
// them: what they found together; the first failure stops it.
inline Result<settings::SettingsLoad> LoadAllSettings(const std::filesystem::path& path,
                                                      settings::AllSettings& all) {
    settings::SettingsLoad found;
    const auto take = [&found](const Result<settings::SettingsLoad>& load) {
        if (!load) return false;
        found.settingsFile = found.settingsFile || load->settingsFile;
        found.notUnderstood.insert(found.notUnderstood.end(), load->notUnderstood.begin(), load->notUnderstood.end());
        return true;
    };
    Result<settings::SettingsLoad> load = settings::LoadCommonSettings(path, settings::keys::kFilePage, all.filePage);
    if (take(load)) {
        load = settings::LoadFolderPageSettings(path, all.folderPage);
        if (take(load)) {
            load = settings::LoadGeneralSettings(path, all.look, all.pngForm);
            if (take(load)) return found;
        }
    }
    return load.failure();
}

// TargetFilePage, TargetFolderPage, then General, each in its key order, one write each
// as the window saves them: into a new file the 25 lines of a complete settings file
// (one more each for indexed pictures, a scale above 1 and a transparent background).
inline Result<void> SaveAllSettings(const std::filesystem::path& path, const settings::AllSettings& all) {
    Result<void> written = settings::SaveCommonSettings(path, settings::keys::kFilePage, all.filePage);
    if (written) written = settings::SaveFolderPageSettings(path, all.folderPage);
    if (written) written = settings::SaveGeneralSettings(path, all.look, all.pngForm);
    return written;
}

}  // namespace quarvel::test
