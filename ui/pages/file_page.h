#pragma once
// The "ファイル" page: one HTML document, converted in place by a file job, with the
// file mode's own common settings above it.

#include <QString>

#include "ui/kit/tab_page.h"
#include "ui/pages/common_settings_page.h"
#include "ui/pages/page_host.h"

class QLineEdit;
class QPushButton;

namespace quarvel::ui {

class CTargetFilePageDlg : public COwnerTabPage {
    Q_OBJECT
public:
    CTargetFilePageDlg();
    ~CTargetFilePageDlg() override;

    // Makes the page's controls (template 130) and its common settings as a child of
    // `parent` (the tab control).
    void Create(QWidget* parent);

    bool UpdateData(bool bSaveAndValidate) override;
    // Converts the document named in the box with the page's settings and the main
    // window's look; returns when the job has ended. An empty path is refused before
    // any job starts.
    void Generate() override;
    // Section TargetFilePage, common settings only; the path is never stored.
    void LoadSettings(const std::filesystem::path& path) override;
    ProfileWriteResult SaveSettings(const std::filesystem::path& path) override;

    // "参照...": an open dialog listing every file.
    void OnBrowse();

    QLineEdit* targetEdit() const { return editTarget; }
    QPushButton* browseButton() const { return btnBrowse; }

    PageHost* host = nullptr;  // the window that holds the page
    CCommonSettingDlg dlgCommonSetting;
    QString strTargetFile;  // path of the document

private:
    QLineEdit* editTarget = nullptr;
    QPushButton* btnBrowse = nullptr;
};

}  // namespace quarvel::ui
