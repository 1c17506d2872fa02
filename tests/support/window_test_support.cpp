#include "support/window_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <thread>

#include "support/test_support.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/tab_control.h"
#include "ui/piece_list.h"
#include "ui/preview_window.h"

namespace quarvel::test {

PromptRecorder::PromptRecorder() : before_(ui::GetPrompts()) {
    ui::Prompts& prompts = ui::GetPrompts();
    prompts.chooseColor = [this](QWidget*, QColor initial) {
        ++colorCalls;
        colorInitial = initial;
        return colorAnswer;
    };
    prompts.askSaveFile = [this](QWidget*, const ui::SaveFileRequest& request) {
        ++saveCalls;
        saveRequest = request;
        return saveAnswer;
    };
    prompts.askOpenFile = [this](QWidget*, const ui::OpenFileRequest& request) {
        ++openCalls;
        openRequest = request;
        return openAnswer;
    };
    prompts.browseFolder = [this](QWidget*, const QString& title, const QString& preselect) {
        ++folderCalls;
        folderTitle = title;
        folderPreselect = preselect;
        return folderAnswer;
    };
    prompts.showMessage = [this](QWidget*, const QString& text, ui::MessageIcon) {
        messages << text;
        messageThread = QThread::currentThread();
    };
    prompts.confirm = [this](QWidget*, const QString& text) {
        confirms << text;
        return confirmAnswer;
    };
}

PromptRecorder::~PromptRecorder() { ui::GetPrompts() = before_; }

HeldWorker::HeldWorker() : before_(ui::GetWorkerStarter()) {
    ui::GetWorkerStarter() = [this](std::function<void()> body) {
        ++starts;
        return std::thread([this, body = std::move(body)] {
            test::WaitUntil([this] { return released.load(); }, "the test to release the held worker");
            body();
        });
    };
}

HeldWorker::~HeldWorker() {
    Release();
    ui::GetWorkerStarter() = before_;
}

void DuringJob(HeldWorker& held, std::function<void()> action) {
    QTimer::singleShot(0, [&held, action = std::move(action)] {
        struct ReleaseAtExit {
            HeldWorker& held;
            ~ReleaseAtExit() { held.Release(); }
        } release{held};
        action();
    });
}

bool ShowActive(QWidget* window) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

OpenedPreview::OpenedPreview(const QString& text) {
    QVERIFY(ShowActive(&dlg));
    dlg.tabCtrl()->SetCurFocus(2);
    dlg.copyPastePage().edit()->setPlainText(text);
    dlg.copyPastePage().edit()->setFocus();
    QTest::keyClick(dlg.copyPastePage().edit(), Qt::Key_P, Qt::ControlModifier);
    preview = dlg.preview();
    QVERIFY(preview && preview->isVisible());
}

bool RedrawPending(const ui::PreviewWindow& preview) {
    const auto* timer = preview.findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    return timer && timer->isActive();
}

std::string LargeCollection() {
    std::string mlt;
    for (int i = 0; i < 470; ++i) {
        for (int line = 0; line <= (i * 7) % 12; ++line)
            mlt += "(\x81\x4C\x83\xD6\x81\x4D)" + std::to_string(i) + std::string(1 + (i + line) % 40, '_') + "\r\n";
        mlt += "[SPLIT]\r\n";
    }
    return mlt;
}

int PicturesDrawn(const ui::PieceList& pieces) {
    int drawn = 0;
    for (int row = 0; row < pieces.rowCount(); ++row)
        drawn += !pieces.index(row).data(ui::PieceList::PictureRole).value<QImage>().isNull();
    return drawn;
}

bool ScreenDrawn(const QListView* list) {
    for (int y = 0; y < list->viewport()->height(); y += 4) {
        const QModelIndex at = list->indexAt(QPoint(4, y));
        if (at.isValid() && at.data(ui::PieceList::PictureRole).value<QImage>().isNull()) return false;
    }
    return true;
}

QString Native(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

std::filesystem::path NativeName(const QString& name) { return QFile::encodeName(name).toStdString(); }

QLineEdit* Edit(QWidget* root, int id) { return qobject_cast<QLineEdit*>(ui::GetDlgItem(root, id)); }

QAbstractButton* Button(QWidget* root, int id) { return qobject_cast<QAbstractButton*>(ui::GetDlgItem(root, id)); }

std::map<std::string, UiTestClass>& UiTestClasses() {
    static std::map<std::string, UiTestClass> classes;
    return classes;
}

UiTestRegistration::UiTestRegistration(const char* name, UiTestClass testClass) {
    UiTestClasses().emplace(name, std::move(testClass));
}

}  // namespace quarvel::test
