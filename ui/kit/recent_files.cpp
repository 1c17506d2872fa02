#include "ui/kit/recent_files.h"

#include "ui/kit/user_files.h"

namespace quarvel::ui {

namespace {

// Far more than kKept lines: a file that is no list of ours is not read whole.
constexpr qint64 kMaxStoreBytes = 1 << 20;

}  // namespace

void RecentFiles::KeepIn(const QString& store) {
    store_ = store;
    paths_.clear();
    const auto bytes = ReadUserFile(store_, kMaxStoreBytes);
    if (!bytes) return;
    for (const QString& line : QString::fromUtf8(*bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (paths_.size() < kKept && !paths_.contains(line)) paths_ << line;
    }
}

void RecentFiles::Add(const QString& path) {
    // A name with a line break would not come back as it went.
    if (path.contains(QLatin1Char('\n'))) return;
    paths_.removeAll(path);
    paths_.prepend(path);
    while (paths_.size() > kKept) paths_.removeLast();
    Save();
}

void RecentFiles::Remove(const QString& path) {
    if (paths_.removeAll(path) > 0) Save();
}

void RecentFiles::Save() const {
    if (store_.isEmpty()) return;
    // A list that cannot be written is only not offered next time.
    static_cast<void>(WriteUserFile(store_, (paths_.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()));
}

}  // namespace quarvel::ui
