#pragma once
// The standard dialogs the windows ask the user through: colour chooser, open and
// save dialogs, folder chooser and message box. Each is a replaceable function so that tests can answer in the
// user's place; by default they show Qt's dialogs.

#include <QColor>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace quarvel::ui {

enum class MessageIcon { none, warning };

struct FileDialogRequest {
    QString defaultSuffix;    // appended when the name typed has none
    QStringList nameFilters;  // "PNG画像 (*.png)" and the like; none lists every file
};
using SaveFileRequest = FileDialogRequest;
using OpenFileRequest = FileDialogRequest;

struct Prompts {
    // The chosen colour, or nothing when the user cancelled. Opens on `initial`.
    std::function<std::optional<QColor>(QWidget* parent, QColor initial)> chooseColor;
    // The chosen path, or nothing when cancelled. Replacing an existing file has been
    // confirmed by the user.
    std::function<std::optional<QString>(QWidget* parent, const SaveFileRequest&)> askSaveFile;
    // The chosen existing file, or nothing when cancelled.
    std::function<std::optional<QString>(QWidget* parent, const OpenFileRequest&)> askOpenFile;
    // The chosen folder, or nothing when cancelled. Opens on `preselect` unless it is
    // empty.
    std::function<std::optional<QString>(QWidget* parent, const QString& title, const QString& preselect)> browseFolder;
    // Shows a message with an OK button and returns when the user has closed it.
    std::function<void(QWidget* parent, const QString& text, MessageIcon)> showMessage;
    // Asks the user to go on with what `text` says: true for OK, false for Cancel.
    std::function<bool(QWidget* parent, const QString& text)> confirm;
};

// The functions in force; assign to replace one (and keep a copy to put Qt's dialogs
// back).
Prompts& GetPrompts();

}  // namespace quarvel::ui
