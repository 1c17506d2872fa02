#include "ui/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QThread>

#include "engine/messages.h"

#include "ui/kit/dialog_template.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "ui/kit/warning_texts.h"

namespace quarvel::ui {

namespace {
constexpr int IDC_PROGRESS_TEXT = 1236;
constexpr int IDC_ABORT = 1266;
}  // namespace

ProgressWindow::ProgressWindow() = default;
ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::Create(QWidget* parent) {
    // A title bar without a close box: the window goes away when its job ends.
    setParent(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    if (const auto dlg = LoadDialogTemplate(IDD_PROGRESS)) {
        CreateControls(*dlg, this);
        setWindowTitle(dlg->caption);
        setFixedSize(DialogUnits(font()).Map(dlg->size));
    }
    textLabel_ = qobject_cast<QLabel*>(GetDlgItem(this, IDC_PROGRESS_TEXT));
    abort_ = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_ABORT));
    if (abort_) connect(abort_, &QPushButton::clicked, this, &ProgressWindow::OnAbort);
    initialized = true;
    SetTextOnWindowThread(QCoreApplication::translate("ProgressWindow", "処置中..."));
}

void ProgressWindow::BeginJob() {
    JobProgress::BeginJob();
    // Not the last job's text: a message that comes before the job's first text would
    // stand over a name it has nothing to do with.
    SetTextOnWindowThread(QCoreApplication::translate("ProgressWindow", "処置中..."));
}

void ProgressWindow::SetProgressText(const std::string& text) {
    if (!initialized) return;
    const QString converted = QString::fromStdString(text);
    if (QThread::currentThread() == thread()) {
        SetTextOnWindowThread(converted);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, converted] { SetTextOnWindowThread(converted); }, Qt::QueuedConnection);
}

void ProgressWindow::SetTextOnWindowThread(const QString& text) {
    // An equal text is not set again, so repeated reports cost no redraw.
    if (textLabel_ && textLabel_->text() != text) textLabel_->setText(text);
}

void ProgressWindow::ShowMessage(const std::string& text) { ShowOnWindowThread(QString::fromStdString(text)); }

void ProgressWindow::ShowFailure(const Failure& failure) {
    // The message stands over the name of what failed.
    if (!failure.path.empty()) SetProgressText(engine::ShownPath(failure.path));
    QString text = QString::fromStdString(engine::MessageText(failure));
    if (const QString advice = FailureAdvice(failure); !advice.isEmpty()) text += QLatin1Char('\n') + advice;
    ShowOnWindowThread(text);
}

void ProgressWindow::ShowOnWindowThread(const QString& text) {
    auto show = [this, text] {
        GetPrompts().showMessage(parentWidget() ? parentWidget() : this, text, MessageIcon::none);
    };
    if (QThread::currentThread() == thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(this, show, Qt::BlockingQueuedConnection);
    }
}

void ProgressWindow::ShowCentered() {
    if (!initialized) return;
    // Shown first: the frame's size is known only once the window is on the screen.
    show();
    if (QWidget* parent = parentWidget()) {
        const QRect p = parent->frameGeometry();
        const QRect own = frameGeometry();
        move(p.left() + (p.width() - own.width()) / 2, p.top() + (p.height() - own.height()) / 2);
    }
    raise();
}

void ProgressWindow::HideProgress() {
    if (initialized) hide();
}

QString ProgressWindow::text() const { return textLabel_ ? textLabel_->text() : QString(); }

void ProgressWindow::OnAbort() { abortRequested = true; }

void ProgressWindow::closeEvent(QCloseEvent* event) {
    // Only the end of the job hides the window.
    event->ignore();
}

void ProgressWindow::reject() {
    // Esc would hide the window while the job goes on; it does nothing here.
}

}  // namespace quarvel::ui
