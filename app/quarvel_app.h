#pragma once
// The application object: sets up the process and runs the main window, whose end is
// the end of the program.

#include <QApplication>

namespace quarvel::ui {

class CQuarvelApp : public QApplication {
    Q_OBJECT
public:
    CQuarvelApp(int& argc, char** argv);
    ~CQuarvelApp() override;

    // Runs the main window modally; returns the process's exit status.
    int InitInstance();
};

}  // namespace quarvel::ui
