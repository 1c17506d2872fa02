#pragma once
// What the file and folder jobs of one command came to: the counts (documents
// converted, left as they were and failed, pictures written, warnings), and every
// warning and failure under its document, in a list that can be read, selected and
// copied. A window of its own that stays open while the main window is used; the
// next command's summary takes its place.

#include <QDialog>

#include <vector>

#include "engine/job_summary.h"
#include "engine/jobs.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quarvel::ui {

class JobSummaryWindow : public QDialog {
    Q_OBJECT
public:
    explicit JobSummaryWindow(QWidget* parent);
    ~JobSummaryWindow() override;

    // Shows what `results` (the jobs of one command, in order) came to.
    void ShowResults(const std::vector<engine::JobResult>& results);

    // "文書 4 件: 変換 1、変更なし 2、失敗 1 ／ 画像 3 枚 ／ 警告 2 件", with what more
    // there is to say (stopped, failures outside the documents).
    static QString CountsText(const engine::JobSummary& summary);
    // Every warning and failure, each document's path on a line and its items under it.
    static QString ItemsText(const std::vector<engine::JobResult>& results);

    QLabel* countsLabel() const { return counts_; }
    QPlainTextEdit* list() const { return list_; }
    QPushButton* copyButton() const { return copy_; }

private:
    // The counts and the list, as "すべてコピー" puts them on the clipboard.
    void CopyAll();

    QLabel* counts_ = nullptr;
    QPlainTextEdit* list_ = nullptr;
    QPushButton* copy_ = nullptr;
};

}  // namespace quarvel::ui
