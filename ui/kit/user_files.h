#pragma once
// What the program keeps for its user between runs, in the XDG base folders: the
// copy-paste box's draft (state) and the collections opened last (configuration).
// Never the settings files, which the user names.

#include <QByteArray>
#include <QString>

#include <optional>

namespace quarvel::ui {

// $XDG_STATE_HOME/quarvel, else ~/.local/state/quarvel (a relative XDG_STATE_HOME is
// not taken, as the XDG rules say).
QString UserStateFolder();
// $XDG_CONFIG_HOME/quarvel, else ~/.config/quarvel.
QString UserConfigFolder();

// A file's bytes; nothing when it is missing, unreadable or larger than `limit`.
std::optional<QByteArray> ReadUserFile(const QString& path, qint64 limit);
// Writes a file whole (a temporary file put in place), making its folders; false
// when it could not be written, and the old file stays.
bool WriteUserFile(const QString& path, const QByteArray& bytes);

}  // namespace quarvel::ui
