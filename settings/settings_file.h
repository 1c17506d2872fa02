#pragma once
// The program's settings file: three sections of an INI file in code page 932, read
// into and written from plain records.
//
// Loading takes each key that is present with a non-empty value, decodes it and
// stores it in the record as it comes, without range checks; keys that are missing or
// empty, and files that cannot be read, leave their members unchanged, so a record is
// loaded over its defaults or over the current settings. A caller that uses a loaded
// record must check it itself:
//   - Appearance::margin may lie outside 0..100 (negative too);
//   - but Appearance::scale is always 1..kMaxScale: a number outside is taken as the
//     nearest end and noted;
//   - CommonSettings::code may be any number, not only shiftJis and eucJp;
//   - colours are read as written: "#BBGGRR", blue first;
//   - strings are code page 932 bytes, at most 511 of them, not checked for valid
//     characters.
// Strings are read as ProfileReader::StringValue gives them: a string saved as empty
// ("") reads as empty and so leaves its member unchanged; one saved with double quotes
// inside comes back with them (files of the first programs, which read the text between
// the first and the last double quote, lost them: "<pre class="aa">" read as aa).
//
// Saving writes every key of the record, but for bIndexedPng, iScale, bTransparent and
// bLineBreaks: each when it is not the default (indexed pictures, a scale above 1, a
// transparent background, line ends as breaks) or over a key the file already has, so that a file saved with the
// defaults holds the same lines as before the keys existed. Other sections,
// keys and lines of an existing file stay as they were.

#include <array>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job_settings.h"
#include "render/appearance.h"
#include "render/png_writer.h"
#include "settings/profile.h"

namespace quarvel::settings {

// The sections and keys of a settings file, spelled as the files have them (the
// separators' keys with their old misspelling, which files in use rely on).
namespace keys {
inline constexpr std::string_view kGeneral = "General";
inline constexpr std::string_view kFilePage = "TargetFilePage";
inline constexpr std::string_view kFolderPage = "TargetFolderPage";

inline constexpr std::string_view kTextColor = "colFore";
inline constexpr std::string_view kBackColor = "colBack";
inline constexpr std::string_view kMargin = "iMargin";
inline constexpr std::string_view kCollapseSpaces = "bSpace";
inline constexpr std::string_view kIndexedPng = "bIndexedPng";
// The picture files' scale (1..4) and their transparent background; a file without
// them holds scale 1 and an opaque background.
inline constexpr std::string_view kScale = "iScale";
inline constexpr std::string_view kTransparentBack = "bTransparent";

inline constexpr std::array<std::string_view, 3> kStartSeparators = {"strSepalaterStart1", "strSepalaterStart2",
                                                                     "strSepalaterStart3"};
inline constexpr std::array<std::string_view, 3> kEndSeparators = {"strSepalaterEnd1", "strSepalaterEnd2",
                                                                   "strSepalaterEnd3"};
inline constexpr std::string_view kBackup = "bBackup";
inline constexpr std::string_view kCode = "iCode";
// The codes that have no number (UTF-8, and the code each document's bytes tell) by
// name: "utf-8" or "auto"; when it names one, it is the code, whatever iCode says
// (which holds 0 beside it, so that a build without the key reads Shift-JIS).
inline constexpr std::string_view kCodeName = "strCode";
// Line ends inside a stretch drawn as line breaks; a file without it holds them off.
inline constexpr std::string_view kLineBreaks = "bLineBreaks";

inline constexpr std::string_view kFileFilter = "strFileFilter";
inline constexpr std::string_view kSubFolders = "bSubFolder";
}  // namespace keys

// The settings shared by the file and the folder mode, each mode with its own copy in
// its own section. Separators are code page 932 as typed: "\n" is the two characters
// backslash and n.
struct CommonSettings {
    engine::Separators startSeparators = {"<dd>", "", ""};
    engine::Separators endSeparators = {"\\n", "<dt>", "</dl>"};
    bool backup = true;
    engine::DocumentCode code = engine::DocumentCode::shiftJis;
    bool lineBreaks = false;  // line ends inside a stretch drawn as line breaks
    bool operator==(const CommonSettings&) const = default;
};

// The folder mode: section TargetFolderPage.
struct FolderPageSettings {
    CommonSettings common;
    std::string fileFilter = "*.htm";
    bool subFolders = true;
    bool operator==(const FolderPageSettings&) const = default;
};

// Everything a settings file holds; the file mode's settings are section
// TargetFilePage, the look and the form of the picture files are section General.
struct AllSettings {
    CommonSettings filePage;
    FolderPageSettings folderPage;
    render::Appearance look;
    render::PngForm pngForm = render::PngForm::rgb;
    bool operator==(const AllSettings&) const = default;
};

// A value that was read though it is not one the program writes or understands
// (colFore=#GGGGGG, iCode=7, bSpace=yes), with the value taken in its place, spelled as
// the file would hold it. Texts are code page 932. The load keeps its rules: this only
// tells the caller what they made of such values.
struct ValueNotUnderstood {
    std::string section;
    std::string key;
    std::string value;
    std::string used;
    bool operator==(const ValueNotUnderstood&) const = default;
};

// What a load of a file that could be read found. Only a file that holds at least one
// of the sections General, TargetFilePage and TargetFolderPage is a settings file; from
// any other file (one of another program, or not an INI file at all) nothing is taken,
// and the caller says so. A section the file lacks leaves its members unchanged.
struct SettingsLoad {
    bool settingsFile = false;
    std::vector<ValueNotUnderstood> notUnderstood;  // in the order the keys were read
};

// Each reads the file once, whatever the number of keys; a file that is missing or
// cannot be read is a failure and changes nothing.
Result<SettingsLoad> LoadGeneralSettings(const std::filesystem::path& path, render::Appearance& look,
                                         render::PngForm& pngForm);
Result<SettingsLoad> LoadCommonSettings(const std::filesystem::path& path, std::string_view section,
                                        CommonSettings& settings);
// strFileFilter and bSubFolder, then the common keys, all from TargetFolderPage.
Result<SettingsLoad> LoadFolderPageSettings(const std::filesystem::path& path, FolderPageSettings& settings);

// Whether the file holds any key that loading the given sections takes (a key with a
// value); a file that holds none of them changes nothing however it is loaded.
bool HoldsSettingsKeys(const std::filesystem::path& path, std::initializer_list<std::string_view> sections);

// Each writes its keys in one replacement of the file (see WriteProfileValues).
Result<void> SaveGeneralSettings(const std::filesystem::path& path, const render::Appearance& look,
                                 render::PngForm pngForm);
Result<void> SaveCommonSettings(const std::filesystem::path& path, std::string_view section,
                                const CommonSettings& settings);
Result<void> SaveFolderPageSettings(const std::filesystem::path& path, const FolderPageSettings& settings);

}  // namespace quarvel::settings
