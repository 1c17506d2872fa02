#pragma once
// The "フォルダ" page: the documents of a folder whose names match a pattern,
// optionally in all sub-folders too, converted by a folder job, with the folder
// mode's own common settings above it.

#include <QString>

#include <optional>

#include "ui/kit/tab_page.h"
#include "ui/pages/common_settings_page.h"
#include "ui/pages/page_host.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace quarvel::ui {

inline constexpr int IDC_FILE_FILTER = 1009;
inline constexpr int IDC_SUB_FOLDER = 1012;

class CTargetFolderPageDlg : public COwnerTabPage {
    Q_OBJECT
public:
    CTargetFolderPageDlg();
    ~CTargetFolderPageDlg() override;

    // Makes the page's controls (template 129) and its common settings as a child of
    // `parent` (the tab control); the pattern becomes "*.htm" with sub-folders on.
    void Create(QWidget* parent);

    bool UpdateData(bool bSaveAndValidate) override;
    // Converts the folder named in the box with the page's settings and the main
    // window's look; returns when the job has ended. An empty folder is refused
    // before any job starts.
    void Generate() override;
    // Section TargetFolderPage: the pattern, the sub-folder switch and the common
    // settings; the folder is never stored.
    void LoadSettings(const std::filesystem::path& path) override;
    ProfileWriteResult SaveSettings(const std::filesystem::path& path) override;

    // "参照...": keeps what was typed into the other boxes, then asks for a folder.
    void OnBrowseFolder();

    QLineEdit* targetEdit() const { return editTarget; }
    QLineEdit* filterEdit() const { return editFilter; }
    QCheckBox* subFolderCheck() const { return checkSubFolder; }
    QPushButton* browseButton() const { return btnBrowse; }

    PageHost* host = nullptr;  // the window that holds the page
    CCommonSettingDlg dlgCommonSetting;
    QString strTargetFolder;  // the folder to convert
    bool bSubFolder = false;
    QString strFileFilter;    // file name pattern with wildcards

private:
    QLineEdit* editTarget = nullptr;
    QLineEdit* editFilter = nullptr;
    QCheckBox* checkSubFolder = nullptr;
    QPushButton* btnBrowse = nullptr;
};

// The folder chooser titled "フォルダーを選択してください", owned by `owner`, opening on
// `preselect` unless it is empty; the chosen folder, or nothing when cancelled.
std::optional<QString> BrowseForFolder(QWidget* owner, const QString& preselect);

// A folder path as the walk takes it: trailing separators removed, the root itself
// kept.
std::string TrimFolderPath(std::string folder);

}  // namespace quarvel::ui
