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

namespace quarvel::ui {

using settings::BackupOf;
using settings::EngineSettings;
namespace keys = settings::keys;

using engine::ConversionJob;
using engine::DocumentResult;
using engine::JobProgress;
using engine::MessageText;
using engine::Outcome;
using engine::RestoreDocument;
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
        GetPrompts().showMessage(host_->MessageParent(), QString::fromStdString(TextNoFileGiven()), MessageIcon::none);
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
        GetPrompts().showMessage(parent, QString::fromStdString(TextNoFileGiven()), MessageIcon::none);
        return;
    }
    std::error_code ec;
    const std::filesystem::path given = QFile::encodeName(targetFile_).toStdString();
    const std::string path = std::filesystem::absolute(given, ec).lexically_normal().string();
    const QString shown = QFile::decodeName(path.c_str());
    // What restore would do, decided without a change; the user is asked first.
    engine::RestoreOptions options;
    options.onlyLook = true;
    const DocumentResult look = RestoreDocument(path, fs::RealFileSystem(), options);
    if (look.outcome == Outcome::left) {
        GetPrompts().showMessage(
            parent,
            QCoreApplication::translate("FilePage", "%1\n最初のコピー %2 と同じ内容です。戻すものはありません。")
                .arg(shown, InBackup(look.backup)),
            MessageIcon::none);
        return;
    }
    const bool edited = look.failure && look.failure->Is(Failure::What::documentEdited);
    if (look.outcome == Outcome::failed && !edited) {
        GetPrompts().showMessage(parent, QString::fromStdString(MessageText(*look.failure)), MessageIcon::warning);
        return;
    }
    const QString question =
        edited
            ? QCoreApplication::translate("FilePage",
                                          "%1\n変換後に編集されています。それでも %2 の内容に戻しますか？"
                                          "編集後の内容はbackupフォルダに残し、その内容が示す画像も残します。")
            : QCoreApplication::translate("FilePage", "%1\n%2 の内容に戻します。今の内容はbackupフォルダに残します。");
    if (!GetPrompts().confirm(parent, question.arg(shown, InBackup(look.backup)))) return;
    // On a worker, with the progress window: a lock held by another process is waited
    // for there, and what became of the document ends in the summary.
    options.onlyLook = false;
    options.force = edited;
    host_->StartJob([&](JobProgress& progress) {
        engine::RestoreOptions withProgress = options;
        withProgress.progress = &progress;
        engine::JobResult result;
        result.documents.push_back(RestoreDocument(path, fs::RealFileSystem(), withProgress));
        return result;
    });
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
