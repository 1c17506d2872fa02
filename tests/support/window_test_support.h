#pragma once
// Helpers for the window tests.

#include <QColor>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ui/job_runner.h"
#include "ui/kit/prompts.h"
#include "ui/main_window.h"

class QAbstractButton;
class QLineEdit;
class QListView;
class QObject;
class QWidget;

namespace quarvel::ui {
class PieceList;
}  // namespace quarvel::ui

namespace quarvel::test {

// Answers the standard dialogs in the user's place for the life of the object and
// records what was asked; Qt's dialogs come back afterwards.
class PromptRecorder {
public:
    PromptRecorder();
    ~PromptRecorder();
    PromptRecorder(const PromptRecorder&) = delete;
    PromptRecorder& operator=(const PromptRecorder&) = delete;

    std::optional<QColor> colorAnswer;
    int colorCalls = 0;
    QColor colorInitial;

    std::optional<QString> saveAnswer;
    int saveCalls = 0;
    ui::SaveFileRequest saveRequest;

    std::optional<QString> openAnswer;
    int openCalls = 0;
    ui::OpenFileRequest openRequest;

    std::optional<QString> folderAnswer;
    int folderCalls = 0;
    QString folderTitle;
    QString folderPreselect;

    QStringList messages;
    QThread* messageThread = nullptr;

    bool confirmAnswer = true;
    QStringList confirms;  // the questions asked

private:
    ui::Prompts before_;  // put back when the recorder goes
};

// Holds back the worker of every job started during its life until Release(), so a
// test can act while the job is running; counts the workers started. Released at the
// latest when destroyed.
class HeldWorker {
public:
    HeldWorker();
    ~HeldWorker();
    HeldWorker(const HeldWorker&) = delete;
    HeldWorker& operator=(const HeldWorker&) = delete;

    void Release() { released = true; }
    int starts = 0;

private:
    std::atomic<bool> released{false};
    ui::WorkerStarter before_;  // put back when the holder goes
};

// Runs `action` when the window thread next turns to its events (inside a job's wait
// when a job is started right after), then lets `held` go, whatever `action` did.
void DuringJob(HeldWorker& held, std::function<void()> action);

// A native path as a window text, and back.
QString Native(const std::filesystem::path& path);
std::filesystem::path NativeName(const QString& name);

// The line edit or the button with control `id` among the descendants of `root`.
QLineEdit* Edit(QWidget* root, int id);
QAbstractButton* Button(QWidget* root, int id);

// Shows `window`, makes it the active window and waits until it is; false on failure.
bool ShowActive(QWidget* window);

// The main window on the copy-paste page holding `text`, the preview opened with Ctrl+P.
struct OpenedPreview {
    ui::MainWindow dlg;
    ui::PreviewWindow* preview = nullptr;

    explicit OpenedPreview(const QString& text);
};

// Whether the preview waits to redraw after a change (its timer is running).
bool RedrawPending(const ui::PreviewWindow& preview);

// A template collection of 470 pieces of one to twelve lines, as .mlt bytes.
std::string LargeCollection();

// How many of the rows shown have their picture.
int PicturesDrawn(const ui::PieceList& pieces);

// Whether every piece on the screen of a collection's list has its picture drawn.
bool ScreenDrawn(const QListView* list);

// The window's Qt Test classes, by name: quarvel_ui_tests runs the one its first argument
// names (tests/ui/ui_tests_main.cpp), each in a process of its own.
struct UiTestClass {
    std::function<std::unique_ptr<QObject>()> make;
    // Run under the program's Application (its notify) rather than a plain QApplication.
    bool programsApplication = false;
};
std::map<std::string, UiTestClass>& UiTestClasses();

struct UiTestRegistration {
    UiTestRegistration(const char* name, UiTestClass testClass);
};

}  // namespace quarvel::test

// In place of QTEST_MAIN: makes `Class` one of the classes quarvel_ui_tests can run.
#define QUARVEL_UI_TEST(Class)                                          \
    static const quarvel::test::UiTestRegistration Class##Registration( \
        #Class, {[] { return std::unique_ptr<QObject>(new Class); }, false});
#define QUARVEL_UI_TEST_UNDER_THE_PROGRAMS_APPLICATION(Class)           \
    static const quarvel::test::UiTestRegistration Class##Registration( \
        #Class, {[] { return std::unique_ptr<QObject>(new Class); }, true});
