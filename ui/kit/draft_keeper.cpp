#include "ui/kit/draft_keeper.h"

#include <QGuiApplication>
#include <QPlainTextEdit>

#include <cstdio>

#include "ui/kit/user_files.h"

namespace quarvel::ui {

DraftKeeper::DraftKeeper(QPlainTextEdit* box, QString path) : box_(box), path_(std::move(path)) {
    if (const auto draft = ReadUserFile(path_, kMaxDraftBytes); draft && !draft->isEmpty())
        box_->setPlainText(QString::fromUtf8(*draft));
    timer_.setSingleShot(true);
    timer_.setInterval(kSaveDelayMs);
    connect(&timer_, &QTimer::timeout, this, &DraftKeeper::SaveNow);
    connect(box_, &QPlainTextEdit::textChanged, this, [this] {
        unsaved_ = true;
        timer_.start();
    });
    // The session ending (logout, shutdown) may end the program without a close.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &DraftKeeper::SaveNow);
}

DraftKeeper::~DraftKeeper() { SaveNow(); }

void DraftKeeper::SaveNow() {
    timer_.stop();
    if (!unsaved_) return;
    if (WriteUserFile(path_, box_->toPlainText().toUtf8())) {
        unsaved_ = false;
    } else if (!failureSaid_) {
        // Said once: the text itself is still in the box, and is tried again at the
        // next change.
        failureSaid_ = true;
        const QString said =
            QCoreApplication::translate("DraftKeeper", "quarvel: %1: 「コピペ」の下書きを書き込めませんでした\n")
                .arg(path_);
        std::fputs(said.toUtf8().constData(), stderr);
    }
}

}  // namespace quarvel::ui
