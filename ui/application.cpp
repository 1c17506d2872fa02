#include "ui/application.h"

#include <langinfo.h>

#include <QFile>
#include <QUrl>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <new>

#include "engine/messages.h"
#include "ui/kit/color_scheme.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "ui/kit/translations.h"
#include "ui/kit/user_files.h"
#include "ui/main_window.h"

namespace quarvel::ui {

using engine::TextOutOfMemory;

std::vector<std::filesystem::path> OpenedPaths(const std::vector<std::string>& arguments,
                                               const std::filesystem::path& cwd) {
    std::vector<std::filesystem::path> paths;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (argument.empty()) continue;
        if (argument == "--" && !optionsEnded) {
            optionsEnded = true;
            continue;
        }
        std::filesystem::path path = argument;
        if (argument.starts_with("file:")) {
            const QUrl url(QString::fromUtf8(argument.data(), static_cast<qsizetype>(argument.size())));
            if (url.isLocalFile()) path = QFile::encodeName(url.toLocalFile()).toStdString();
        }
        paths.push_back(path.is_absolute() ? path : cwd / path);
    }
    return paths;
}

namespace {

// Printed before the application exists, so translated through TranslatedBeforeTheApplication.
constexpr char kUsage[] = QT_TRANSLATE_NOOP(
    "Application",
    "使い方: quarvel [Qtのオプション] [ファイル|フォルダ|テンプレート集]...\n"
    "\n"
    "テキストアートをPNG画像にするウィンドウを開きます。名前を挙げた文書は「ファイル」の\n"
    "ページに、フォルダは「フォルダ」のページに入り、「PNG画像生成」を押すまで変換\n"
    "されません。テンプレート集（.mlt、.ast）はテンプレート集のウィンドウで開きます。\n"
    "\n"
    "  -h, --help   この説明を表示して終了します\n"
    "  --version    バージョンを表示して終了します\n"
    "  --           これより後の引数はすべてファイルかフォルダの名前です\n"
    "\n"
    "ウィンドウなしで描くには quarvel-cli を使います（quarvel-cli help）。\n");
constexpr char kNoDisplay[] = QT_TRANSLATE_NOOP(
    "Application",
    "quarvel: 画面が無いためウィンドウを開けません（DISPLAY も WAYLAND_DISPLAY も空です）。"
    "ウィンドウなしで描くには quarvel-cli を使います。\n");

// A line of the window's on standard error about a path, its bytes as the system
// gives them (control characters escaped) in the place of %1.
void Say(const QString& pattern, const std::filesystem::path& path) {
    std::string line = pattern.toStdString();
    if (const std::size_t at = line.find("%1"); at != std::string::npos)
        line.replace(at, 2, engine::EscapeControls(path.string()));
    std::fputs(line.c_str(), stderr);
}

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

}  // namespace

std::optional<int> AnswerWithoutWindow(int argc, char** argv) {
    bool platformNamed = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") break;
        if (argument == "--version") {
            std::printf("quarvel %s\n", QUARVEL_VERSION);
            return 0;
        }
        if (argument == "--help" || argument == "-h") {
            std::fputs(TranslatedBeforeTheApplication("Application", kUsage).c_str(), stdout);
            return 0;
        }
        if (argument == "-platform" || argument == "--platform" || argument.starts_with("-platform="))
            platformNamed = true;
    }
    if (platformNamed || IsSet("QT_QPA_PLATFORM") || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) return std::nullopt;
    std::fputs(TranslatedBeforeTheApplication("Application", kNoDisplay).c_str(), stderr);
    return 1;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv), argc_(argc), argv_(argv) {
    // The window and Qt's dialogs in the program's language (Qt has just taken the
    // user's locale), and the core's messages too: English, their source texts, or
    // Japanese from quarvel-cli's catalogue (the package depends on quarvel-cli).
    const platform::Language language = platform::SetUpLanguage("quarvel-cli");
    InstallTranslations(*this, language, TranslationsFolder());
    // No display name: Qt would append it to every window's caption on X11 ("... —
    // Quarvel"), and each window sets its whole caption itself.
    setApplicationName(QStringLiteral("Quarvel"));
    setDesktopFileName(QStringLiteral("quarvel"));
    setWindowIcon(AppIcon());
    // The desktop's dark scheme, where Qt's palette does not follow it by itself.
    new ColorSchemeFollower(QDBusConnection::sessionBus(), this);
}

Application::~Application() = default;

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        // A picture or a text too large for the memory at hand: the command stops
        // (its scopes have unwound), the window and its settings stay as they were.
        try {
            GetPrompts().showMessage(activeWindow(), QString::fromStdString(TextOutOfMemory()), MessageIcon::warning);
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
    // The messages' category stays the user's: gettext translates nothing in the C
    // locale.
    const std::string ctype = std::setlocale(LC_CTYPE, nullptr);
    const std::string messages = std::setlocale(LC_MESSAGES, nullptr);
    std::setlocale(LC_ALL, "C");
    std::setlocale(LC_MESSAGES, messages.c_str());
    if (!std::setlocale(LC_CTYPE, ctype.c_str()) || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::current_path(error);
    const auto paths = OpenedPaths({argv_ + std::min(argc_, 1), argv_ + argc_}, cwd);
    // The window skips a path that is not there, as it skips such a drop; whoever
    // typed it hears of it here.
    for (const auto& path : paths) {
        if (!std::filesystem::exists(path, error)) {
            Say(QCoreApplication::translate("Application", "quarvel: %1: そのようなファイルやフォルダはありません\n"),
                path);
        }
    }
    MainWindow window;
    window.KeepDraft(UserStateFolder() + QStringLiteral("/draft.txt"));
    window.KeepRecentCollections(UserConfigFolder() + QStringLiteral("/recent-collections"));
    for (const auto& path : window.OpenPaths(paths)) {
        Say(QCoreApplication::translate("Application",
                                        "quarvel: %1: 開くのは文書とフォルダを一つずつです。これは開きません\n"),
            path);
    }
    window.exec();
    return 0;
}

}  // namespace quarvel::ui
