#pragma once
// The "フォルダ" page: the documents of a folder whose names match a pattern,
// optionally in all sub-folders too, converted by a folder job, with the folder
// mode's own common settings above it.

#include <QString>

#include <filesystem>
#include <optional>

#include "settings/profile.h"
#include "ui/kit/tab_page.h"
#include "ui/pages/common_settings_page.h"
#include "ui/pages/page_host.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace quarvel::ui {

inline constexpr int IDC_FILE_FILTER = 1009;
inline constexpr int IDC_SUB_FOLDER = 1012;

class FolderPage : public TabPage {
    Q_OBJECT
public:
    FolderPage();
    ~FolderPage() override;

    // Makes the page's controls (template 129) and its common settings as a child of
    // `parent` (the tab control); the pattern becomes "*.htm" with sub-folders on. The
    // page asks `host` for the look and its jobs.
    void Create(QWidget* parent, PageHost* host);

    // The folder's path as last taken from the box.
    const QString& targetFolder() const { return targetFolder_; }
    // Puts a path in the box (a dropped folder).
    void SetTargetFolder(const QString& path);

    // Converts the folder named in the box with the page's settings and the host's
    // look; returns when the job has ended. An empty folder is refused before any job
    // starts.
    void Generate();
    // Section TargetFolderPage: the pattern, the sub-folder switch and the common
    // settings; the folder is never stored.
    void LoadSettings(const std::filesystem::path& path);
    Result<void> SaveSettings(const std::filesystem::path& path);

    // "参照...": keeps what was typed into the other boxes, then asks for a folder.
    void OnBrowseFolder();

    QLineEdit* targetEdit() const { return targetEdit_; }
    QLineEdit* filterEdit() const { return filterEdit_; }
    QCheckBox* subFolderCheck() const { return subFolderCheck_; }
    QPushButton* browseButton() const { return browseButton_; }
    CommonSettingsPage& commonSettings() { return commonSettings_; }

private:
    // The boxes into the members, and back.
    void ReadControls();
    void WriteControls();

    PageHost* host_ = nullptr;
    CommonSettingsPage commonSettings_;
    QString targetFolder_;
    bool subFolders_ = false;
    QString fileFilter_;  // file name pattern with wildcards
    QLineEdit* targetEdit_ = nullptr;
    QLineEdit* filterEdit_ = nullptr;
    QCheckBox* subFolderCheck_ = nullptr;
    QPushButton* browseButton_ = nullptr;
};

// The folder chooser titled "フォルダーを選択してください", owned by `owner`, opening on
// `preselect` unless it is empty; the chosen folder, or nothing when cancelled.
std::optional<QString> BrowseForFolder(QWidget* owner, const QString& preselect);

}  // namespace quarvel::ui
