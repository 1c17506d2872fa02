#include "ui/pages/file_page.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "engine/jobs.h"
#include "engine/messages.h"
#include "engine/restore.h"
#include "platform/fs.h"
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
using engine::MessageText;
using engine::NewestBackupOf;
using engine::RestoreDocument;
using engine::RestoreResult;
using engine::RunFileJob;
using engine::TextNoFileGiven;
namespace fs = platform::fs;

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

namespace {

QString InBackup(const std::string& path) {
    return QStringLiteral("backup/") + QFile::decodeName(std::filesystem::path(path).filename().string().c_str());
}

}  // namespace

void FilePage::Restore() {
    if (!host_) return;
    targetFile_ = targetEdit_->text();
    QWidget* parent = host_->MessageParent();
    if (targetFile_.isEmpty()) {
        GetPrompts().showMessage(parent, FromCp932(TextNoFileGiven()), MessageIcon::none);
        return;
    }
    std::error_code ec;
    const std::filesystem::path given = QFile::encodeName(targetFile_).toStdString();
    const std::string path = std::filesystem::absolute(given, ec).lexically_normal().string();
    fs::FileSystem& fileSystem = fs::RealFileSystem();
    const std::string backup = NewestBackupOf(path, fileSystem);
    if (backup.empty()) {
        const Failure none{Failure::What::noBackup, path};
        GetPrompts().showMessage(parent, FromCp932(MessageText(none)), MessageIcon::warning);
        return;
    }
    const QString shown = QFile::decodeName(path.c_str());
    if (!GetPrompts().confirm(parent, QCoreApplication::translate(
                                          "FilePage", "%1\n%2 の内容に戻します。今の内容はbackupフォルダに残します。")
                                          .arg(shown, InBackup(backup))))
        return;
    const RestoreResult result = RestoreDocument(path, fileSystem);
    switch (result.outcome) {
    case RestoreResult::Outcome::restored:
        GetPrompts().showMessage(parent,
                                 QCoreApplication::translate("FilePage",
                                                             "%1\n%2 の内容に戻しました。変換の画像 %3 個を削除し、"
                                                             "変換後の内容は %4 に残しました。")
                                     .arg(shown, InBackup(result.backup))
                                     .arg(result.picturesRemoved)
                                     .arg(InBackup(result.keptAs)),
                                 MessageIcon::none);
        break;
    case RestoreResult::Outcome::unchanged:
        GetPrompts().showMessage(
            parent,
            QCoreApplication::translate("FilePage", "%1\n%2 と同じ内容です。戻すものはありません。")
                .arg(shown, InBackup(result.backup)),
            MessageIcon::none);
        break;
    case RestoreResult::Outcome::failed:
        GetPrompts().showMessage(parent, FromCp932(MessageText(*result.failure)), MessageIcon::warning);
        break;
    }
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
