#include "ui/application.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <string>

#include <new>

#include "engine/messages.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "ui/kit/text_codec.h"
#include "ui/main_window.h"

namespace quarvel::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // No display name: Qt would append it to every window's caption on X11 ("... —
    // Quarvel"), and each window sets its whole caption itself.
    setApplicationName(QStringLiteral("Quarvel"));
    setDesktopFileName(QStringLiteral("quarvel"));
    setWindowIcon(AppIcon());
}

Application::~Application() = default;

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        // A picture or a text too large for the memory at hand: the command stops
        // (its scopes have unwound), the window and its settings stay as they were.
        try {
            GetPrompts().showMessage(activeWindow(), FromCp932(TextOutOfMemory()), MessageIcon::warning);
        } catch (const std::bad_alloc&) {
            // Not even the message fits; the command has still ended.
        }
        return false;
    }
}

int Application::InitInstance() {
    // Qt switches the C library to the user's locale; the core's text handling goes
    // through its own code page 932 codec and expects the plain "C" locale. The
    // character type alone must be a UTF-8 one: Xlib encodes the captions it hands
    // the window manager (WM_NAME) from Qt's UTF-8 by it. The core does not classify
    // characters through the C library.
    const std::string ctype = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_ALL, "C");
    if (!std::setlocale(LC_CTYPE, ctype.c_str()) || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    MainWindow window;
    window.exec();
    return 0;
}

}  // namespace quarvel::ui
