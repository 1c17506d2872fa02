#include "app_test_support.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

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
}

PromptRecorder::~PromptRecorder() { ui::ResetPrompts(); }

bool ShowActive(QWidget* window) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

}  // namespace quarvel::test
