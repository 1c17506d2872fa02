#include "ui/kit/user_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace quarvel::ui {
namespace {

QString XdgFolder(const char* variable, const QString& underHome) {
    const QString set = qEnvironmentVariable(variable);
    const QString base = QDir::isAbsolutePath(set) ? set : QDir::homePath() + QLatin1Char('/') + underHome;
    return base + QStringLiteral("/quarvel");
}

}  // namespace

QString UserStateFolder() { return XdgFolder("XDG_STATE_HOME", QStringLiteral(".local/state")); }

QString UserConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config")); }

std::optional<QByteArray> ReadUserFile(const QString& path, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit) return std::nullopt;
    QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit || file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

bool WriteUserFile(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

}  // namespace quarvel::ui
