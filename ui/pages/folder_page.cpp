#include "ui/pages/folder_page.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "engine/jobs.h"
#include "engine/messages.h"
#include "platform/paths.h"
#include "settings/engine_settings.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "ui/kit/text_codec.h"

namespace quarvel::ui {

using settings::BackupOf;
using settings::EngineSettings;
using settings::FolderPageSettings;
using settings::LoadFolderPageSettings;
using settings::SaveFolderPageSettings;

using engine::FolderConversionJob;
using engine::JobProgress;
using engine::RunFolderJob;
using engine::SubFolders;
using engine::TextNoFolderGiven;

using platform::TrimTrailingSeparators;

std::optional<QString> BrowseForFolder(QWidget* owner, const QString& preselect) {
    return GetPrompts().browseFolder(owner, QCoreApplication::translate("FolderPage", "フォルダーを選択してください"),
                                     preselect);
}

FolderPage::FolderPage() = default;
FolderPage::~FolderPage() = default;

void FolderPage::Create(QWidget* parent, PageHost* host) {
    setParent(parent);
    host_ = host;
    CreatePageControls(IDD_TARGET_FOLDER_PAGE, this);
    targetEdit_ = qobject_cast<QLineEdit*>(GetDlgItem(this, IDC_TARGET_PATH));
    filterEdit_ = qobject_cast<QLineEdit*>(GetDlgItem(this, IDC_FILE_FILTER));
    subFolderCheck_ = qobject_cast<QCheckBox*>(GetDlgItem(this, IDC_SUB_FOLDER));
    browseButton_ = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_BROWSE));
    Q_ASSERT(targetEdit_ && filterEdit_ && subFolderCheck_ && browseButton_);
    connect(browseButton_, &QPushButton::clicked, this, &FolderPage::OnBrowseFolder);
    commonSettings_.Create(this);
    fileFilter_ = QStringLiteral("*.htm");
    subFolders_ = true;
    WriteControls();
}

void FolderPage::ReadControls() {
    targetFolder_ = targetEdit_->text();
    subFolders_ = subFolderCheck_->isChecked();
    fileFilter_ = filterEdit_->text();
}

void FolderPage::WriteControls() {
    targetEdit_->setText(targetFolder_);
    subFolderCheck_->setChecked(subFolders_);
    filterEdit_->setText(fileFilter_);
}

void FolderPage::SetTargetFolder(const QString& path) {
    targetFolder_ = path;
    WriteControls();
}

void FolderPage::OnBrowseFolder() {
    ReadControls();
    if (const auto chosen = BrowseForFolder(this, QString())) SetTargetFolder(*chosen);
}

void FolderPage::Generate() {
    if (!host_) return;
    commonSettings_.ReadControls();
    ReadControls();

    // Never a walk over a folder the user did not name.
    const std::string folder = TrimTrailingSeparators(QFile::encodeName(targetFolder_).toStdString());
    if (folder.empty()) {
        GetPrompts().showMessage(host_->MessageParent(), QString::fromStdString(TextNoFolderGiven()),
                                 MessageIcon::none);
        return;
    }

    // The job's own copies: what the user changes while it runs concerns later jobs.
    FolderConversionJob job;
    job.folder = folder;
    job.fileFilter = QFile::encodeName(fileFilter_).toStdString();
    job.subFolders = subFolders_ ? SubFolders::yes : SubFolders::no;
    job.backup = BackupOf(commonSettings_.settings());
    job.settings = EngineSettings(commonSettings_.settings(), host_->Look(), host_->PictureForm(), nullptr);
    // What the pictures leave out, for the summary the job ends with.
    job.settings.collectNotes = true;
    host_->StartJob([&job](JobProgress& progress) { return RunFolderJob(job, progress); });
}

void FolderPage::LoadSettings(const std::filesystem::path& path) {
    const std::string filterBefore = ToCp932(fileFilter_);
    FolderPageSettings record{commonSettings_.settings(), filterBefore, subFolders_};
    static_cast<void>(LoadFolderPageSettings(path, record));  // a failure changes nothing: see the main window
    // A pattern the file leaves alone keeps its exact text.
    if (record.fileFilter != filterBefore) fileFilter_ = FromCp932(record.fileFilter);
    subFolders_ = record.subFolders;
    commonSettings_.SetSettings(record.common);
    commonSettings_.WriteControls();
    WriteControls();
}

Result<void> FolderPage::SaveSettings(const std::filesystem::path& path) {
    ReadControls();
    commonSettings_.ReadControls();
    return SaveFolderPageSettings(path,
                                  FolderPageSettings{commonSettings_.settings(), ToCp932(fileFilter_), subFolders_});
}

}  // namespace quarvel::ui
