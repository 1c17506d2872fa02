#pragma once
// The text-art box of the copy-paste page. It holds only what code page 932 can hold:
// text that arrives from the clipboard, from the input method or from the keyboard
// is inserted with every other character written as its character reference (the box
// shows the reference text), which the renderer decodes again.

#include <QPlainTextEdit>

namespace quarvel::ui {

class HtmlEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit HtmlEdit(QWidget* parent = nullptr);
    ~HtmlEdit() override;

    // The box's text as the core reads it: code page 932, lines ending in CR LF.
    std::string GetWindowText() const;

    // Replaces the selection with `text`, references put in (a paste of `text`).
    void ReplaceSel(const QString& text);
    // The paste command (keyboard and context menu): the clipboard's text goes in
    // with references put in; an empty clipboard still removes the selection.
    void Paste();
    // Adds `action` to the box's context menu, below the standard editing commands.
    void AddContextAction(QAction* action);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QList<QAction*> contextActions_;
};

}  // namespace quarvel::ui
