#pragma once
// The application object: sets up the process and runs the main window, whose end is
// the end of the program.

#include <QApplication>

#include <filesystem>
#include <string>
#include <vector>

namespace quarvel::ui {

// The files and folders named on the command line (the arguments Qt left after taking
// its own options), taken as the window takes dropped paths: a relative path is made
// absolute against `cwd`, a "file:" URL (as some launchers pass) becomes its local
// path. The bytes of a plain path are kept as they are, whatever their encoding.
std::vector<std::filesystem::path> OpenedPaths(const std::vector<std::string>& arguments,
                                               const std::filesystem::path& cwd);

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;

    // Runs the main window modally; returns the process's exit status. The files and
    // folders named on the command line are converted as if dropped on the window as
    // soon as it shows, one after another.
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
