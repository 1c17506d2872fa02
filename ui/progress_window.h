#pragma once
// The progress window of file and folder jobs: a status line and the abort button
// "中止". It carries the job flags that the window thread and the worker share and
// implements the engine's progress interface; the worker's calls are carried over to
// the window thread.

#include <QDialog>

#include "engine/progress.h"

class QLabel;
class QPushButton;

namespace quarvel::ui {

class ProgressWindow : public QDialog, public engine::JobProgress {
    Q_OBJECT
public:
    ProgressWindow();
    ~ProgressWindow() override;

    // Makes the window (hidden) as a window of `parent`; sets initialized.
    void Create(QWidget* parent);

    // Any thread. Sets the status line unless it already reads `text`.
    void SetProgressText(const std::string& text) override;
    // Any thread. Shows the message over the main window and returns once the user
    // has closed it.
    void ShowMessage(const std::string& text) override;
    // Any thread. The message of the failure, and what to do about it where the
    // window knows (a document in another code: the code that fits and how to choose it).
    void ShowFailure(const Failure& failure) override;
    // Window thread: a job starts; the status line says so until the job says more.
    void BeginJob() override;

    // Window thread: centres the window over its parent and shows it on top.
    void ShowCentered();
    void HideProgress();

    QString text() const;
    QPushButton* abortButton() const { return abort_; }

public slots:
    void OnAbort();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void SetTextOnWindowThread(const QString& text);
    void ShowOnWindowThread(const QString& text);

    QLabel* textLabel_ = nullptr;
    QPushButton* abort_ = nullptr;
};

}  // namespace quarvel::ui
