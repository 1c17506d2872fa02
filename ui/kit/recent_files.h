#pragma once
// The files opened last, newest first, kept in a file of their own (one path a line,
// UTF-8) so that the next run offers them again. Without a file the list lives only
// as long as the object.

#include <QString>
#include <QStringList>

namespace quarvel::ui {

class RecentFiles {
public:
    static constexpr int kKept = 10;

    RecentFiles() = default;
    // Keeps the list in the file at `store` (read now, written at every change).
    void KeepIn(const QString& store);

    const QStringList& paths() const { return paths_; }
    // Puts `path` first (once).
    void Add(const QString& path);
    void Remove(const QString& path);

private:
    void Save() const;

    QString store_;
    QStringList paths_;
};

}  // namespace quarvel::ui
