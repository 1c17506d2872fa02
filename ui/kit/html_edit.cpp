#include "ui/kit/html_edit.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>

#include "ui/kit/text_codec.h"

namespace quarvel::ui {
namespace {

// Line breaks as the box keeps them: CR LF and lone CR become one line break.
QString NormalizeLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

HtmlEdit::HtmlEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the next control, as in every dialog box, so the keyboard never
    // stays caught in the box; Ctrl+Tab types a tab.
    setTabChangesFocus(true);
    // Files dropped on the box go to the main window, which converts them.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
}

HtmlEdit::~HtmlEdit() = default;

std::string HtmlEdit::GetWindowText() const {
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return ToCp932(text);
}

void HtmlEdit::ReplaceSel(const QString& text) {
    QTextCursor cursor = textCursor();
    cursor.insertText(WithReferences(NormalizeLineBreaks(text)));
    setTextCursor(cursor);
    ensureCursorVisible();
}

void HtmlEdit::Paste() {
    if (isReadOnly()) return;
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    ReplaceSel(clip && clip->hasText() ? clip->text() : QString());
}

void HtmlEdit::AddContextAction(QAction* action) { contextActions_.append(action); }

bool HtmlEdit::canInsertFromMimeData(const QMimeData* source) const { return source->hasText(); }

void HtmlEdit::insertFromMimeData(const QMimeData* source) {
    // Nothing on the clipboard still removes the selection, as a paste does.
    ReplaceSel(source && source->hasText() ? source->text() : QString());
}

void HtmlEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (event->commitString().isEmpty()) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    // The committed string goes in once, with references put in; the pre-edit text
    // and its attributes pass unchanged.
    QInputMethodEvent merged(event->preeditString(), event->attributes());
    merged.setCommitString(WithReferences(event->commitString()), event->replacementStart(),
                           event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&merged);
    viewport()->update();
}

void HtmlEdit::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Paste) {
        Paste();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        insertPlainText(QStringLiteral("\t"));
        event->accept();
        return;
    }
    if ((event->modifiers() & Qt::ControlModifier) &&
        (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown)) {
        // Typed in the text-art box, the tab keys switch nothing.
        event->accept();
        return;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && typed.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier)) {
        const QString held = WithReferences(typed);
        if (held != typed) {
            // A character the code page cannot hold (a composed key) goes in as its
            // reference, like a pasted one.
            ReplaceSel(typed);
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void HtmlEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu(event->pos());
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QStringLiteral("edit-paste")) {
            action->disconnect();
            action->setEnabled(!isReadOnly());
            connect(action, &QAction::triggered, this, &HtmlEdit::Paste);
        }
    }
    if (!contextActions_.isEmpty()) {
        menu->addSeparator();
        menu->addActions(contextActions_);
    }
    menu->exec(event->globalPos());
    delete menu;
}

}  // namespace quarvel::ui
