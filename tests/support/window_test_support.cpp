#include "support/window_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <thread>

#include "support/test_support.h"
#include "ui/job_runner.h"
#include "ui/kit/dialog_template.h"

namespace quarvel::test {

PromptRecorder::PromptRecorder() {
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

PromptRecorder::~PromptRecorder() { ui::ResetPrompts(); }

HeldWorker::HeldWorker() {
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
    ui::ResetWorkerStarter();
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
