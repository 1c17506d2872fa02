#include "ui/job_summary_window.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "engine/messages.h"
#include "ui/kit/warning_texts.h"

namespace quarvel::ui {

using engine::DocumentResult;
using engine::JobResult;
using engine::JobSummary;
using engine::MessageText;
using engine::OneLine;
using engine::Outcome;

namespace {

// Items are indented under their document's path.
const QString kIndent = QStringLiteral("　");

QString Native(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// What failed, without the path that heads the list's entry.
QString Reason(const Failure& failure) {
    Failure unnamed = failure;
    unnamed.path.clear();
    std::string message = MessageText(unnamed);
    if (const QString advice = FailureAdvice(failure); !advice.isEmpty()) message += "\n" + advice.toStdString();
    return QCoreApplication::translate("JobSummaryWindow", "失敗: ") + QString::fromStdString(OneLine(message));
}

// What went wrong without stopping the document, with the file it concerns.
QString WarningItem(const Failure& warning) {
    return QCoreApplication::translate("JobSummaryWindow", "警告: ") +
           QString::fromStdString(OneLine(MessageText(warning)));
}

QString InBackup(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return QStringLiteral("backup/") + Native(slash == std::string::npos ? path : path.substr(slash + 1));
}

// What restore did: the copy put back, the text kept, and the pictures of the
// conversion removed and kept, by why.
QStringList RestoredItems(const DocumentResult& document) {
    QStringList items;
    items << QCoreApplication::translate(
                 "JobSummaryWindow",
                 "%1 の内容に戻しました。変換の画像 %2 個を削除し、変換後の内容は %3 に残しました。")
                 .arg(InBackup(document.backup))
                 .arg(document.picturesRemoved)
                 .arg(InBackup(document.keptAs));
    const engine::PicturesKept& kept = document.picturesKept;
    if (kept.Total() > 0)
        items << QCoreApplication::translate("JobSummaryWindow",
                                             "残した画像 %1 個（変換後に変更 %2、戻した内容か残した内容が示す %3、"
                                             "ほかのユーザーのもの %4、変換後の内容より新しい %5）")
                     .arg(kept.Total())
                     .arg(kept.changed)
                     .arg(kept.named)
                     .arg(kept.notOwn)
                     .arg(kept.newer);
    return items;
}

// A picture's path as its document's folder sees it ("art/001.png").
QString PictureName(const std::string& picture, const std::string& document) {
    const std::string::size_type slash = document.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : document.substr(0, slash + 1);
    return Native(picture.starts_with(folder) ? picture.substr(folder.size()) : picture);
}

// A file that is not text is named when it was the job's one document: a folder walk
// that takes every file passes over the pictures in it without a word.
QStringList DocumentItems(const DocumentResult& document, bool alone) {
    QStringList items;
    if (document.outcome == Outcome::failed && document.failure) items << Reason(*document.failure);
    if (document.outcome == Outcome::restored) items << RestoredItems(document);
    for (const Failure& warning : document.warnings) items << WarningItem(warning);
    if (document.outcome == Outcome::skipped && alone)
        items << QCoreApplication::translate("JobSummaryWindow", "テキストではないため変換しません（%1）")
                     .arg(QString::fromLatin1(document.notText));
    if (document.outcome != Outcome::converted) return items;
    if (!document.otherCharset.empty()) {
        items << QCoreApplication::translate(
                     "JobSummaryWindow",
                     "文字コード %1 を宣言しています（読んだ文字コードと違います。「文字コード」の設定を"
                     "確かめてください）")
                     .arg(QString::fromLatin1(document.otherCharset));
    }
    for (const auto& picture : document.pictureNotes) {
        const QString name = PictureName(picture.path, document.path);
        for (const QString& warning : PictureWarnings(picture.report)) items << name + QStringLiteral(": ") + warning;
    }
    return items;
}

// A document's items under its path; a failure of no file or folder (none named)
// stands alone.
void Append(QStringList& lines, const QString& heading, const QStringList& items) {
    if (items.isEmpty()) return;
    if (heading.isEmpty()) {
        lines << items;
        return;
    }
    lines << heading;
    for (const QString& item : items) lines << kIndent + item;
}

}  // namespace

JobSummaryWindow::JobSummaryWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QCoreApplication::translate("JobSummaryWindow", "Quarvel　処理結果"));
    setObjectName(QStringLiteral("jobSummary"));
    setModal(false);

    counts_ = new QLabel(this);
    counts_->setWordWrap(true);
    counts_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* listLabel = new QLabel(QCoreApplication::translate("JobSummaryWindow", "警告と失敗(&W)"), this);
    list_ = new QPlainTextEdit(this);
    list_->setReadOnly(true);
    list_->setLineWrapMode(QPlainTextEdit::NoWrap);
    list_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    listLabel->setBuddy(list_);
    copy_ = new QPushButton(QCoreApplication::translate("JobSummaryWindow", "すべてコピー(&C)"), this);
    auto* close = new QPushButton(QCoreApplication::translate("JobSummaryWindow", "閉じる"), this);
    copy_->setAutoDefault(false);
    close->setAutoDefault(false);
    connect(copy_, &QPushButton::clicked, this, &JobSummaryWindow::CopyAll);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copy_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(counts_);
    layout->addWidget(listLabel);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(640, 320);
}

JobSummaryWindow::~JobSummaryWindow() = default;

QString JobSummaryWindow::CountsText(const JobSummary& s) {
    QString text =
        s.restored > 0
            ? QCoreApplication::translate(
                  "JobSummaryWindow",
                  "文書 %1 件: 変換 %2、戻した %7、変更なし %3、失敗 %4 ／ 画像 %5 枚 ／ 警告 %6 件")
            : QCoreApplication::translate("JobSummaryWindow",
                                          "文書 %1 件: 変換 %2、変更なし %3、失敗 %4 ／ 画像 %5 枚 ／ 警告 %6 件");
    text = text.arg(s.documents).arg(s.converted).arg(s.unchanged).arg(s.failed).arg(s.pictures).arg(s.warnings);
    if (s.restored > 0) text = text.arg(s.restored);
    if (s.jobFailures > 0)
        text += QCoreApplication::translate("JobSummaryWindow", " ／ 文書以外の失敗 %1 件").arg(s.jobFailures);
    if (!s.locked.empty()) {
        QStringList names;
        for (const std::string& path : s.locked) names << Native(path);
        text +=
            QCoreApplication::translate("JobSummaryWindow", " ／ 他のプロセスがロックしていて処理しなかった文書: %1")
                .arg(names.join(QStringLiteral("、")));
    }
    if (s.aborted) text = QCoreApplication::translate("JobSummaryWindow", "中止しました。") + text;
    return text;
}

QString JobSummaryWindow::ItemsText(const std::vector<JobResult>& results) {
    QStringList lines;
    for (const JobResult& result : results) {
        for (const DocumentResult& document : result.documents)
            Append(lines, Native(document.path), DocumentItems(document, result.documents.size() == 1));
        for (const Failure& failure : result.messages) Append(lines, Native(failure.path), {Reason(failure)});
    }
    if (lines.isEmpty()) return QCoreApplication::translate("JobSummaryWindow", "警告も失敗もありません");
    return lines.join(QLatin1Char('\n'));
}

void JobSummaryWindow::ShowResults(const std::vector<JobResult>& results) {
    JobSummary summary;
    for (const JobResult& result : results) summary.Add(result);
    counts_->setText(CountsText(summary));
    list_->setPlainText(ItemsText(results));
    show();
    raise();
    activateWindow();
}

void JobSummaryWindow::CopyAll() {
    QGuiApplication::clipboard()->setText(counts_->text() + QLatin1Char('\n') + list_->toPlainText() +
                                          QLatin1Char('\n'));
}

}  // namespace quarvel::ui
