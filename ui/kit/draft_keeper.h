#pragma once
// Keeps the text of a box in a file, so that nothing typed is lost when the program
// ends: written a moment after typing pauses, at once when asked (the window closes,
// the session ends), and read back into the box when the keeper starts.

#include <QObject>
#include <QString>
#include <QTimer>

class QPlainTextEdit;

namespace quarvel::ui {

class DraftKeeper : public QObject {
    Q_OBJECT
public:
    // How long after the last change the text is written.
    static constexpr int kSaveDelayMs = 500;
    // The largest draft read back: the most a box is filled with in practice, far less
    // than would hold up the start.
    static constexpr qint64 kMaxDraftBytes = qint64{64} << 20;

    // Puts the draft at `path` (if any) into `box`, then keeps it. The keeper must go
    // before the box; it writes what is unsaved as it goes.
    DraftKeeper(QPlainTextEdit* box, QString path);
    ~DraftKeeper() override;

    // Writes the text now when it changed since it was last written.
    void SaveNow();

private:
    QPlainTextEdit* box_;
    QString path_;
    QTimer timer_;
    bool unsaved_ = false;
    bool failureSaid_ = false;
};

}  // namespace quarvel::ui
