#include "ui/pages/file_page.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "ui/kit/dialog_template.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "engine/jobs.h"

namespace quarvel::ui {

CTargetFilePageDlg::CTargetFilePageDlg() = default;
CTargetFilePageDlg::~CTargetFilePageDlg() = default;

void CTargetFilePageDlg::Create(QWidget* parent) {
    setParent(parent);
    if (const auto dlg = LoadDialogTemplate(IDD_TARGET_FILE_PAGE)) {
        CreateControls(*dlg, this);
        resize(DialogUnits(font()).Map(dlg->size));
    }
    editTarget = qobject_cast<QLineEdit*>(GetDlgItem(this, IDC_TARGET_PATH));
    btnBrowse = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_BROWSE));
    Q_ASSERT(editTarget && btnBrowse);
    connect(btnBrowse, &QPushButton::clicked, this, &CTargetFilePageDlg::OnBrowse);
    UpdateData(false);
    dlgCommonSetting.Create(this);
}

bool CTargetFilePageDlg::UpdateData(bool bSaveAndValidate) {
    if (bSaveAndValidate) {
        strTargetFile = editTarget->text();
    } else {
        editTarget->setText(strTargetFile);
    }
    return true;
}

void CTargetFilePageDlg::OnBrowse() {
    if (const auto chosen = GetPrompts().askOpenFile(this, OpenFileRequest{})) {
        strTargetFile = *chosen;
        UpdateData(false);
    }
}

void CTargetFilePageDlg::Generate() {
    if (!host) return;
    dlgCommonSetting.UpdateData(true);
    UpdateData(true);

    // Without a document the job would make a backup folder wherever the program was
    // started, and report nothing.
    if (strTargetFile.isEmpty()) {
        GetPrompts().showMessage(host->MessageParent(), QStringLiteral("ファイルを指定してください"), MessageIcon::none);
        return;
    }

    // The job's own copies: what the user changes while it runs concerns later jobs.
    ConversionJob job;
    job.path = QFile::encodeName(strTargetFile).toStdString();
    job.bBackup = dlgCommonSetting.bBackup ? Backup::yes : Backup::no;
    job.settings = MakeJobSettings(dlgCommonSetting, host->Look(), nullptr);
    host->StartJob([&job](JobProgress& progress) {
        job.settings.progress = &progress;
        FileJobThreadProc(&job);
    });
}

void CTargetFilePageDlg::LoadSettings(const std::filesystem::path& path) {
    dlgCommonSetting.LoadSettings(path, settings_names::kFilePage);
    UpdateData(false);
}

ProfileWriteResult CTargetFilePageDlg::SaveSettings(const std::filesystem::path& path) {
    UpdateData(true);
    return dlgCommonSetting.SaveSettings(path, settings_names::kFilePage);
}

}  // namespace quarvel::ui
