#pragma once
// The program's settings file: three sections of an INI file in code page 932, read
// into and written from plain records.
//
// Loading takes each key that is present with a non-empty value, decodes it and
// stores it in the record as it comes, without range checks; keys that are missing or
// empty, and files that cannot be read, leave their members unchanged, so a record is
// loaded over its defaults or over the current settings. A caller that uses a loaded
// record must check it itself:
//   - GeneralSettings::iMargin may lie outside 0..100 (negative too);
//   - CommonSettings::iCode may be other than kCodeShiftJis and kCodeEuc;
//   - colours may have any bits set in 0x00FFFFFF and nothing above;
//   - strings are code page 932 bytes, at most 511 of them, not checked for valid
//     characters.
// Strings are read as ReadProfileValue gives them and then UnquoteProfileString: a string
// saved as empty ("") reads as empty and so leaves its member unchanged, and one that
// itself holds two or more double quotes comes back as the text between its first and
// last double quote.
//
// Saving writes every key of the record; other sections, keys and lines of an existing
// file stay as they were.

#include <filesystem>
#include <string>
#include <string_view>

#include "settings/profile.h"
#include "platform/picture.h"

namespace quarvel {

namespace settings_names {
inline constexpr std::string_view kGeneral = "General";
inline constexpr std::string_view kFilePage = "TargetFilePage";
inline constexpr std::string_view kFolderPage = "TargetFolderPage";

inline constexpr std::string_view kColFore = "colFore";
inline constexpr std::string_view kColBack = "colBack";
inline constexpr std::string_view kMargin = "iMargin";
inline constexpr std::string_view kSpace = "bSpace";

inline constexpr std::string_view kSepalaterStart1 = "strSepalaterStart1";
inline constexpr std::string_view kSepalaterStart2 = "strSepalaterStart2";
inline constexpr std::string_view kSepalaterStart3 = "strSepalaterStart3";
inline constexpr std::string_view kSepalaterEnd1 = "strSepalaterEnd1";
inline constexpr std::string_view kSepalaterEnd2 = "strSepalaterEnd2";
inline constexpr std::string_view kSepalaterEnd3 = "strSepalaterEnd3";
inline constexpr std::string_view kBackup = "bBackup";
inline constexpr std::string_view kCode = "iCode";

inline constexpr std::string_view kFileFilter = "strFileFilter";
inline constexpr std::string_view kSubFolder = "bSubFolder";
}  // namespace settings_names

inline constexpr int kCodeShiftJis = 0;
inline constexpr int kCodeEuc = 1;

// The look of the pictures: section General.
struct GeneralSettings {
    COLORREF colFore = 0x000000;
    COLORREF colBack = 0xFFFFFF;
    int iMargin = 0;
    bool bSpace = true;
    bool operator==(const GeneralSettings&) const = default;
};

// The settings shared by the file and the folder mode, each mode with its own copy in
// its own section. Separators hold "\n" as the two characters backslash and n.
struct CommonSettings {
    std::string strSepalaterStart1 = "<dd>";
    std::string strSepalaterStart2;
    std::string strSepalaterStart3;
    std::string strSepalaterEnd1 = "\\n";
    std::string strSepalaterEnd2 = "<dt>";
    std::string strSepalaterEnd3 = "</dl>";
    bool bBackup = true;
    int iCode = kCodeShiftJis;
    bool operator==(const CommonSettings&) const = default;
};

// The folder mode: section TargetFolderPage.
struct FolderPageSettings {
    CommonSettings common;
    std::string strFileFilter = "*.htm";
    bool bSubFolder = true;
    bool operator==(const FolderPageSettings&) const = default;
};

// Everything a settings file holds; the file mode's settings are section TargetFilePage.
struct AllSettings {
    CommonSettings filePage;
    FolderPageSettings folderPage;
    GeneralSettings general;
    bool operator==(const AllSettings&) const = default;
};

// What a load found. Only a file that holds at least one of the sections General,
// TargetFilePage and TargetFolderPage is a settings file; from any other file (one of
// another program, or not an INI file at all) nothing is taken, and the caller says so.
enum class SettingsLoadResult {
    loaded,      // a settings file (a section it lacks leaves its members unchanged)
    unreadable,  // missing, or cannot be read
    noSettings,  // read, but none of the three sections is in it
};

// Each reads the file once, whatever the number of keys.
SettingsLoadResult LoadGeneralSettings(const std::filesystem::path& path, GeneralSettings& settings);
SettingsLoadResult LoadCommonSettings(const std::filesystem::path& path, std::string_view section,
                                      CommonSettings& settings);
// strFileFilter and bSubFolder, then the common keys, all from TargetFolderPage.
SettingsLoadResult LoadFolderPageSettings(const std::filesystem::path& path, FolderPageSettings& settings);
// TargetFilePage, TargetFolderPage, then General.
SettingsLoadResult LoadAllSettings(const std::filesystem::path& path, AllSettings& settings);

// Each writes its keys in one replacement of the file (see WriteProfileValues).
ProfileWriteResult SaveGeneralSettings(const std::filesystem::path& path,
                                       const GeneralSettings& settings);
ProfileWriteResult SaveCommonSettings(const std::filesystem::path& path, std::string_view section,
                                      const CommonSettings& settings);
ProfileWriteResult SaveFolderPageSettings(const std::filesystem::path& path,
                                          const FolderPageSettings& settings);
// TargetFilePage, TargetFolderPage, then General, each in its key order: into a new
// file this gives the 25 lines of a complete settings file.
ProfileWriteResult SaveAllSettings(const std::filesystem::path& path, const AllSettings& settings);

}  // namespace quarvel
