#include "ui/kit/resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace quarvel::ui {
namespace {

QJsonObject ReadJson(const QString& resource) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

const QHash<int, QString>& StringTable() {
    static const QHash<int, QString> table = [] {
        QHash<int, QString> t;
        const QJsonObject o = ReadJson(QStringLiteral(":/strings.json"));
        for (auto it = o.begin(); it != o.end(); ++it) t.insert(it.key().toInt(), it.value().toString());
        return t;
    }();
    return table;
}

}  // namespace

QString TranslatedResourceText(const char* context, const QString& text) {
    return text.isEmpty() ? text : QCoreApplication::translate(context, text.toUtf8().constData());
}

QString LoadResString(int id) { return TranslatedResourceText("Strings", StringTable().value(id)); }

QString VersionLine() { return QStringLiteral("%1  %2").arg(LoadResString(IDS_TITLE), LoadResString(IDS_VERSION)); }

void LoadMenu(QMenuBar* bar, int id) {
    const auto text = [](const QJsonObject& entry) {
        return TranslatedResourceText("Menus", entry.value(QStringLiteral("text")).toString());
    };
    const QJsonObject o = ReadJson(QStringLiteral(":/menus/%1.json").arg(id));
    for (const QJsonValue& m : o.value(QStringLiteral("menus")).toArray()) {
        const QJsonObject menuObject = m.toObject();
        QMenu* menu = bar->addMenu(text(menuObject));
        for (const QJsonValue& i : menuObject.value(QStringLiteral("items")).toArray()) {
            const QJsonObject item = i.toObject();
            if (item.value(QStringLiteral("separator")).toBool()) {
                menu->addSeparator();
                continue;
            }
            const int command = item.value(QStringLiteral("id")).toInt();
            QAction* action = menu->addAction(text(item));
            action->setCheckable(item.value(QStringLiteral("checkable")).toBool());
            action->setData(command);
            action->setObjectName(QStringLiteral("cmd%1").arg(command));
            action->setShortcut(QKeySequence(item.value(QStringLiteral("shortcut")).toString()));
        }
    }
}

QIcon AppIcon() {
    static const QIcon icon = [] {
        // One picture per size, named by its size (cmake/Icons.cmake draws them).
        QIcon i;
        for (const QFileInfo& file : QDir(QStringLiteral(":/icons")).entryInfoList(QDir::Files)) {
            const int size = file.baseName().toInt();
            i.addFile(file.filePath(), QSize(size, size));
        }
        return i;
    }();
    return icon;
}

}  // namespace quarvel::ui
