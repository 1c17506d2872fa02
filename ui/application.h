#pragma once
// The application object: sets up the process and runs the main window, whose end is
// the end of the program.

#include <QApplication>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quarvel::ui {

// The files and folders named on the command line (the arguments Qt left after taking
// its own options, the first "--" left out), taken as the window takes dropped paths:
// a relative path is made absolute against `cwd`, a "file:" URL (as some launchers
// pass) becomes its local path. The bytes of a plain path are kept as they are,
// whatever their encoding.
std::vector<std::filesystem::path> OpenedPaths(const std::vector<std::string>& arguments,
                                               const std::filesystem::path& cwd);

// What the command line asks for that needs no window, answered before Qt starts
// (which aborts without a display): --version and --help (-h) print to standard output
// and end with 0; without a display the program says so and ends with 1. Nothing when
// the window is to open. Arguments after "--" are paths.
std::optional<int> AnswerWithoutWindow(int argc, char** argv);

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;

    // Runs the main window modally; returns the process's exit status. The files and
    // folders named on the command line fill the pages they belong to (MainWindow::
    // OpenPaths); nothing is converted until the user asks.
    int InitInstance();

    // Delivers every event; a command that runs out of memory ends with a message
    // instead of ending the program.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    // What Qt leaves of the command line once it has taken its own options.
    int& argc_;
    char** argv_;
};

}  // namespace quarvel::ui
