#pragma once
// The application object: sets up the process and runs the main window, whose end is
// the end of the program.

#include <QApplication>

namespace quarvel::ui {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;

    // Runs the main window modally; returns the process's exit status.
    int InitInstance();

    // Delivers every event; a command that runs out of memory ends with a message
    // instead of ending the program.
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace quarvel::ui
