#include "ui/pages/file_page.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "engine/jobs.h"
#include "engine/messages.h"
#include "settings/engine_settings.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "ui/kit/text_codec.h"

namespace quarvel::ui {

using settings::BackupOf;
using settings::EngineSettings;
namespace keys = settings::keys;

using engine::ConversionJob;
using engine::JobProgress;
using engine::RunFileJob;
using engine::TextNoFileGiven;

FilePage::FilePage() = default;
FilePage::~FilePage() = default;

void FilePage::Create(QWidget* parent, PageHost* host) {
    setParent(parent);
    host_ = host;
    CreatePageControls(IDD_TARGET_FILE_PAGE, this);
    targetEdit_ = qobject_cast<QLineEdit*>(GetDlgItem(this, IDC_TARGET_PATH));
    browseButton_ = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_BROWSE));
    Q_ASSERT(targetEdit_ && browseButton_);
    connect(browseButton_, &QPushButton::clicked, this, &FilePage::OnBrowse);
    targetEdit_->setText(targetFile_);
    commonSettings_.Create(this);
}

void FilePage::SetTargetFile(const QString& path) {
    targetFile_ = path;
    targetEdit_->setText(targetFile_);
}

void FilePage::OnBrowse() {
    if (const auto chosen = GetPrompts().askOpenFile(this, OpenFileRequest{})) SetTargetFile(*chosen);
}

void FilePage::Generate() {
    if (!host_) return;
    commonSettings_.ReadControls();
    targetFile_ = targetEdit_->text();

    // Without a document the job would make a backup folder wherever the program was
    // started, and report nothing.
    if (targetFile_.isEmpty()) {
        GetPrompts().showMessage(host_->MessageParent(), FromCp932(TextNoFileGiven()), MessageIcon::none);
        return;
    }

    // The job's own copies: what the user changes while it runs concerns later jobs.
    ConversionJob job;
    job.path = QFile::encodeName(targetFile_).toStdString();
    job.backup = BackupOf(commonSettings_.settings());
    job.settings = EngineSettings(commonSettings_.settings(), host_->Look(), host_->PictureForm(), nullptr);
    // What the pictures leave out, for the summary the job ends with.
    job.settings.collectNotes = true;
    job.settings.claims = host_->RunClaims();
    host_->StartJob([&job](JobProgress& progress) { return RunFileJob(job, progress); });
}

void FilePage::LoadSettings(const std::filesystem::path& path) {
    commonSettings_.LoadSettings(path, keys::kFilePage);
    targetEdit_->setText(targetFile_);
}

Result<void> FilePage::SaveSettings(const std::filesystem::path& path) {
    targetFile_ = targetEdit_->text();
    return commonSettings_.SaveSettings(path, keys::kFilePage);
}

}  // namespace quarvel::ui
