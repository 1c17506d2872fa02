#include "ui/pages/folder_page.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "ui/kit/dialog_template.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "ui/kit/text_codec.h"
#include "engine/jobs.h"
#include "platform/paths.h"

namespace quarvel::ui {

std::optional<QString> BrowseForFolder(QWidget* owner, const QString& preselect) {
    return GetPrompts().browseFolder(owner, QStringLiteral("フォルダーを選択してください"), preselect);
}

std::string TrimFolderPath(std::string folder) {
    while (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
    return folder;
}

CTargetFolderPageDlg::CTargetFolderPageDlg() = default;
CTargetFolderPageDlg::~CTargetFolderPageDlg() = default;

void CTargetFolderPageDlg::Create(QWidget* parent) {
    setParent(parent);
    if (const auto dlg = LoadDialogTemplate(IDD_TARGET_FOLDER_PAGE)) {
        CreateControls(*dlg, this);
        resize(DialogUnits(font()).Map(dlg->size));
    }
    editTarget = qobject_cast<QLineEdit*>(GetDlgItem(this, IDC_TARGET_PATH));
    editFilter = qobject_cast<QLineEdit*>(GetDlgItem(this, IDC_FILE_FILTER));
    checkSubFolder = qobject_cast<QCheckBox*>(GetDlgItem(this, IDC_SUB_FOLDER));
    btnBrowse = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_BROWSE));
    Q_ASSERT(editTarget && editFilter && checkSubFolder && btnBrowse);
    connect(btnBrowse, &QPushButton::clicked, this, &CTargetFolderPageDlg::OnBrowseFolder);
    UpdateData(false);
    dlgCommonSetting.Create(this);
    strFileFilter = QStringLiteral("*.htm");
    bSubFolder = true;
    UpdateData(false);
}

bool CTargetFolderPageDlg::UpdateData(bool bSaveAndValidate) {
    if (bSaveAndValidate) {
        strTargetFolder = editTarget->text();
        bSubFolder = checkSubFolder->isChecked();
        strFileFilter = editFilter->text();
    } else {
        editTarget->setText(strTargetFolder);
        checkSubFolder->setChecked(bSubFolder);
        editFilter->setText(strFileFilter);
    }
    return true;
}

void CTargetFolderPageDlg::OnBrowseFolder() {
    UpdateData(true);
    if (const auto chosen = BrowseForFolder(this, QString())) {
        strTargetFolder = *chosen;
        UpdateData(false);
    }
}

void CTargetFolderPageDlg::Generate() {
    if (!host) return;
    dlgCommonSetting.UpdateData(true);
    UpdateData(true);

    // Never a walk over a folder the user did not name.
    const std::string folder = TrimFolderPath(QFile::encodeName(strTargetFolder).toStdString());
    if (folder.empty()) {
        GetPrompts().showMessage(host->MessageParent(), FromCp932(TextNoFolderGiven()), MessageIcon::none);
        return;
    }

    // The job's own copies: what the user changes while it runs concerns later jobs.
    FolderConversionJob job;
    job.folder = folder;
    job.strFileFilter = QFile::encodeName(strFileFilter).toStdString();
    job.bSubFolder = bSubFolder ? SubFolders::yes : SubFolders::no;
    job.bBackup = dlgCommonSetting.bBackup ? Backup::yes : Backup::no;
    job.settings = MakeJobSettings(dlgCommonSetting, host->Look(), nullptr);
    host->StartJob([&job](JobProgress& progress) {
        job.settings.progress = &progress;
        FolderJobThreadProc(&job);
    });
}

void CTargetFolderPageDlg::LoadSettings(const std::filesystem::path& path) {
    const std::string filterBefore = ToCp932(strFileFilter);
    FolderPageSettings record{dlgCommonSetting.Record(), filterBefore, bSubFolder};
    LoadFolderPageSettings(path, record);
    // A pattern the file leaves alone keeps its exact text.
    if (record.strFileFilter != filterBefore) strFileFilter = FromCp932(record.strFileFilter);
    bSubFolder = record.bSubFolder;
    dlgCommonSetting.SetRecord(record.common);
    dlgCommonSetting.UpdateData(false);
    UpdateData(false);
}

ProfileWriteResult CTargetFolderPageDlg::SaveSettings(const std::filesystem::path& path) {
    UpdateData(true);
    dlgCommonSetting.UpdateData(true);
    return SaveFolderPageSettings(
        path, FolderPageSettings{dlgCommonSetting.Record(), ToCp932(strFileFilter), bSubFolder});
}

}  // namespace quarvel::ui
