#include "app/quarvel_app.h"

#include <clocale>

#include "app/quarvel_dlg.h"
#include "app/resources.h"

namespace quarvel::ui {

CQuarvelApp::CQuarvelApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Quarvel"));
    setApplicationDisplayName(LoadResString(IDS_TITLE));
    setDesktopFileName(QStringLiteral("quarvel"));
    setWindowIcon(AppIcon());
}

CQuarvelApp::~CQuarvelApp() = default;

int CQuarvelApp::InitInstance() {
    // Qt switches the C library to the user's locale; the core's text handling goes
    // through its own code page 932 codec and expects the plain "C" locale.
    std::setlocale(LC_ALL, "C");
    CQuarvelDlg dlg;
    dlg.exec();
    return 0;
}

}  // namespace quarvel::ui
