#pragma once
// The template collections window ("テンプレート集"): the collections opened (.mlt,
// .ast), one tab each, their pieces listed as the pictures the program draws of them,
// a search, and a piece sent to the copy-paste box (Enter, a double click) or put on
// the clipboard as text or as a picture. Closing it hides it; the collections stay
// open.

#include <QWidget>

#include <functional>

#include "render/appearance.h"
#include "render/png_writer.h"
#include "ui/kit/recent_files.h"

class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace quarvel::ui {

class PieceList;

// One collection: the search box, the list of pieces and what to do with a piece.
class CollectionView : public QWidget {
    Q_OBJECT
public:
    CollectionView(PieceList* pieces, QString path, QWidget* parent);
    ~CollectionView() override;

    const QString& path() const { return path_; }
    PieceList* pieces() const { return pieces_; }
    QListView* list() const { return list_; }
    QLineEdit* searchBox() const { return search_; }
    QLabel* statusLine() const { return status_; }
    QPushButton* sendButton() const { return send_; }

    // The piece of the current row; -1 when no row is current.
    int CurrentPiece() const;
    // "コピペへ送る": the current piece's text goes to the copy-paste box.
    void Send();
    // The current piece on the clipboard, as text or as its picture's file made with
    // `options` (render::PngOptionsFor of the look it is drawn in).
    void CopyText();
    void CopyPicture(const render::PngOptions& options);

signals:
    void sendToBox(const QString& text);
    // "画像をコピー" (or Ctrl+Shift+C): the browser knows the form of the picture.
    void copyPictureRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowCount();

    PieceList* pieces_;
    QString path_;
    QLineEdit* search_ = nullptr;
    QListView* list_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* send_ = nullptr;
};

class TemplateBrowser : public QWidget {
    Q_OBJECT
public:
    // The look the pictures are drawn in and the form the clipboard's picture takes,
    // as the main window shows them.
    using LookSource = std::function<render::Appearance()>;
    using FormSource = std::function<render::PngForm()>;

    TemplateBrowser(QWidget* parent, LookSource look, FormSource form, RecentFiles& recent);
    ~TemplateBrowser() override;

    // Opens the collection at `path` in a tab of its own, or shows its tab when it is
    // open already; shows the window. False when it cannot be read (the user has been
    // told, and it leaves the recent list).
    bool Open(const QString& path);
    // "開く...": asks for a collection and opens it.
    void OnOpen();
    // The look shown may have changed: when it has, every picture is drawn again in it.
    void LookChanged();

    int CollectionCount() const;
    CollectionView* View(int index) const;
    CollectionView* CurrentView() const;
    QTabWidget* tabs() const { return tabs_; }
    QToolButton* recentButton() const { return recentButton_; }

    // The file dialog of "開く...": the collections' extensions first.
    static QStringList NameFilters();

signals:
    // A piece's text for the copy-paste box.
    void sendToBox(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CloseTab(int index);
    void ShowTitle();
    void FillRecentMenu();

    LookSource look_;
    FormSource form_;
    render::Appearance drawnIn_;  // the look of the pictures
    RecentFiles& recent_;
    QTabWidget* tabs_ = nullptr;
    QLabel* empty_ = nullptr;
    QToolButton* recentButton_ = nullptr;
};

// Whether a path names a template collection by its extension (.mlt, .ast, any case).
bool IsCollectionPath(const QString& path);

// Fills `menu` with the collections opened last ("&1 art.mlt", ...), each opened by
// `open`; one disabled item when there are none.
void FillRecentCollectionsMenu(QMenu* menu, const RecentFiles& recent, const std::function<void(const QString&)>& open);

}  // namespace quarvel::ui
