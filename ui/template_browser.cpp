#include "ui/template_browser.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <variant>

#include "engine/collection.h"
#include "engine/messages.h"
#include "platform/fs.h"
#include "ui/kit/picture_image.h"
#include "ui/kit/prompts.h"
#include "ui/kit/text_codec.h"
#include "ui/piece_list.h"

namespace quarvel::ui {

using engine::Collection;
using engine::KindOfCollection;
using engine::kMaxCollectionBytes;
using engine::ReadCollection;

namespace fs = platform::fs;

namespace {

// The window's caption, in the language of the translations installed.
QString Title() { return QCoreApplication::translate("TemplateBrowser", "テンプレート集"); }

// The collection at `path`, or the message that says why it cannot be read.
std::variant<Collection, QString> ReadCollectionFile(const QString& path) {
    const std::string native = QFile::encodeName(path).toStdString();
    const auto refused = [&path](const Failure& failure) { return FailureMessage(path, failure); };
    // Held once, as read; a file too large is not read at all.
    if (QFileInfo(path).size() > kMaxCollectionBytes) return refused(Failure{Failure::What::tooLarge, native});
    fs::FileBytes bytes;
    if (Result<fs::FileInfo> read = fs::RealFileSystem().ReadFileBytes(native, bytes); !read)
        return refused(read.failure());
    if (bytes.view().size() > static_cast<std::size_t>(kMaxCollectionBytes))
        return refused(Failure{Failure::What::tooLarge, native});
    const auto kind = KindOfCollection(native, bytes.view());
    return ReadCollection(std::move(bytes), kind);
}

}  // namespace

bool IsCollectionPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    return suffix.compare(QStringLiteral("mlt"), Qt::CaseInsensitive) == 0 ||
           suffix.compare(QStringLiteral("ast"), Qt::CaseInsensitive) == 0;
}

CollectionView::CollectionView(PieceList* pieces, QString path, QWidget* parent)
    : QWidget(parent), pieces_(pieces), path_(std::move(path)) {
    pieces_->setParent(this);
    auto* searchLabel = new QLabel(QCoreApplication::translate("TemplateBrowser", "検索(&S)"), this);
    search_ = new QLineEdit(this);
    search_->setClearButtonEnabled(true);
    search_->setPlaceholderText(QCoreApplication::translate("TemplateBrowser", "番号、名前、含まれる文字"));
    searchLabel->setBuddy(search_);
    status_ = new QLabel(this);

    list_ = new QListView(this);
    list_->setAccessibleName(QCoreApplication::translate("TemplateBrowser", "テンプレート"));
    list_->setModel(pieces_);
    list_->setItemDelegate(new PieceDelegate(list_));
    list_->setUniformItemSizes(false);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    list_->installEventFilter(this);
    search_->installEventFilter(this);

    send_ = new QPushButton(QCoreApplication::translate("TemplateBrowser", "コピペへ送る(&P)"), this);
    auto* copyText = new QPushButton(QCoreApplication::translate("TemplateBrowser", "テキストをコピー(&X)"), this);
    auto* copyPicture = new QPushButton(QCoreApplication::translate("TemplateBrowser", "画像をコピー(&I)"), this);
    for (QPushButton* button : {send_, copyText, copyPicture}) button->setAutoDefault(false);

    connect(search_, &QLineEdit::textChanged, this, [this](const QString& query) {
        pieces_->SetFilter(query);
        if (pieces_->rowCount() > 0) list_->setCurrentIndex(pieces_->index(0));
        ShowCount();
    });
    connect(list_, &QListView::activated, this, &CollectionView::Send);
    connect(send_, &QPushButton::clicked, this, &CollectionView::Send);
    connect(copyText, &QPushButton::clicked, this, &CollectionView::CopyText);
    connect(copyPicture, &QPushButton::clicked, this, [this] { emit copyPictureRequested(); });

    auto* top = new QHBoxLayout;
    top->addWidget(searchLabel);
    top->addWidget(search_, 1);
    top->addWidget(status_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(send_);
    bottom->addWidget(copyText);
    bottom->addWidget(copyPicture);
    bottom->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(bottom);

    if (pieces_->rowCount() > 0) list_->setCurrentIndex(pieces_->index(0));
    ShowCount();
}

CollectionView::~CollectionView() = default;

int CollectionView::CurrentPiece() const {
    const QModelIndex current = list_->currentIndex();
    return current.isValid() ? pieces_->PieceAt(current.row()) : -1;
}

void CollectionView::Send() {
    if (const int piece = CurrentPiece(); piece >= 0) emit sendToBox(pieces_->Text(piece));
}

void CollectionView::CopyText() {
    if (const int piece = CurrentPiece(); piece >= 0) QGuiApplication::clipboard()->setText(pieces_->Text(piece));
}

void CollectionView::CopyPicture(const render::PngOptions& options) {
    if (const int piece = CurrentPiece(); piece >= 0) CopyPictureToClipboard(pieces_->Draw(piece), options);
}

void CollectionView::ShowCount() {
    const int all = pieces_->pieceCount();
    const int shown = pieces_->rowCount();
    status_->setText(shown == all
                         ? QCoreApplication::translate("TemplateBrowser", "全 %1 件").arg(all)
                         : QCoreApplication::translate("TemplateBrowser", "%1 件中 %2 件").arg(all).arg(shown));
}

bool CollectionView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == search_ && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return ||
                               key->key() == Qt::Key_Enter || key->key() == Qt::Key_PageDown)) {
        // From the search on to what it found.
        list_->setFocus(Qt::OtherFocusReason);
        if (!list_->currentIndex().isValid() && pieces_->rowCount() > 0) list_->setCurrentIndex(pieces_->index(0));
        return true;
    }
    if (watched == list_ && key->matches(QKeySequence::Copy)) {
        CopyText();
        return true;
    }
    if (watched == list_ && key->key() == Qt::Key_C && key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
        emit copyPictureRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

TemplateBrowser::TemplateBrowser(QWidget* parent, LookSource look, FormSource form, RecentFiles& recent)
    : QWidget(parent, Qt::Window), look_(std::move(look)), form_(std::move(form)), drawnIn_(look_()), recent_(recent) {
    setObjectName(QStringLiteral("templates"));
    setAcceptDrops(true);
    auto* open = new QPushButton(QCoreApplication::translate("TemplateBrowser", "開く(&O)..."), this);
    open->setAutoDefault(false);
    recentButton_ = new QToolButton(this);
    recentButton_->setText(QCoreApplication::translate("TemplateBrowser", "最近開いたもの(&R)"));
    recentButton_->setPopupMode(QToolButton::InstantPopup);
    auto* recentMenu = new QMenu(recentButton_);
    recentButton_->setMenu(recentMenu);
    connect(recentMenu, &QMenu::aboutToShow, this, &TemplateBrowser::FillRecentMenu);
    connect(open, &QPushButton::clicked, this, &TemplateBrowser::OnOpen);

    tabs_ = new QTabWidget(this);
    tabs_->setTabsClosable(true);
    tabs_->setDocumentMode(true);
    connect(tabs_, &QTabWidget::tabCloseRequested, this, &TemplateBrowser::CloseTab);
    connect(tabs_, &QTabWidget::currentChanged, this, &TemplateBrowser::ShowTitle);
    empty_ = new QLabel(QCoreApplication::translate("TemplateBrowser",
                                                    "テンプレート集（.mlt、.ast）を開くか、ここにドロップしてください"),
                        this);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(open);
    top->addWidget(recentButton_);
    top->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tabs_, 1);
    layout->addWidget(empty_, 1);
    ShowTitle();
    resize(560, 640);
}

TemplateBrowser::~TemplateBrowser() = default;

QStringList TemplateBrowser::NameFilters() {
    return {QCoreApplication::translate("TemplateBrowser", "テンプレート集 (*.mlt *.ast *.MLT *.AST)"),
            QCoreApplication::translate("TemplateBrowser", "All Files (*.*)")};
}

bool TemplateBrowser::Open(const QString& path) {
    show();
    raise();
    activateWindow();
    for (int i = 0; i < CollectionCount(); ++i) {
        if (View(i)->path() == path) {
            tabs_->setCurrentIndex(i);
            recent_.Add(path);
            return true;
        }
    }
    auto read = ReadCollectionFile(path);
    if (const QString* refusal = std::get_if<QString>(&read)) {
        GetPrompts().showMessage(this, *refusal, MessageIcon::none);
        recent_.Remove(path);
        return false;
    }
    LookChanged();  // every collection in the look shown
    auto* view = new CollectionView(new PieceList(std::get<Collection>(std::move(read)), drawnIn_), path, tabs_);
    connect(view, &CollectionView::sendToBox, this, &TemplateBrowser::sendToBox);
    connect(view, &CollectionView::copyPictureRequested, this,
            [this, view] { view->CopyPicture(render::PngOptionsFor(drawnIn_, form_())); });
    const int at = tabs_->addTab(view, QFileInfo(path).fileName());
    tabs_->setTabToolTip(at, path);
    tabs_->setCurrentIndex(at);
    view->list()->setFocus(Qt::OtherFocusReason);
    recent_.Add(path);
    ShowTitle();
    return true;
}

void TemplateBrowser::OnOpen() {
    if (const auto chosen = GetPrompts().askOpenFile(this, {QString(), NameFilters()})) Open(*chosen);
}

void TemplateBrowser::LookChanged() {
    const render::Appearance look = look_();
    if (look == drawnIn_) return;
    drawnIn_ = look;
    for (int i = 0; i < CollectionCount(); ++i) {
        View(i)->pieces()->SetLook(look);
        View(i)->list()->viewport()->update();
    }
}

int TemplateBrowser::CollectionCount() const { return tabs_->count(); }

CollectionView* TemplateBrowser::View(int index) const { return qobject_cast<CollectionView*>(tabs_->widget(index)); }

CollectionView* TemplateBrowser::CurrentView() const { return qobject_cast<CollectionView*>(tabs_->currentWidget()); }

void TemplateBrowser::CloseTab(int index) {
    QWidget* view = tabs_->widget(index);
    tabs_->removeTab(index);
    delete view;
    ShowTitle();
}

void TemplateBrowser::ShowTitle() {
    const CollectionView* view = CurrentView();
    setWindowTitle(view ? QStringLiteral("%1 - %2").arg(QFileInfo(view->path()).fileName(), Title()) : Title());
    tabs_->setVisible(view != nullptr);
    empty_->setVisible(view == nullptr);
}

void TemplateBrowser::FillRecentMenu() {
    QMenu* menu = recentButton_->menu();
    menu->clear();
    FillRecentCollectionsMenu(menu, recent_, [this](const QString& path) { Open(path); });
}

void TemplateBrowser::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    if (event->matches(QKeySequence::Close) && CurrentView()) {
        CloseTab(tabs_->currentIndex());
        return;
    }
    QWidget::keyPressEvent(event);
}

void TemplateBrowser::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void TemplateBrowser::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    // Opened after the drop has returned to its source.
    QMetaObject::invokeMethod(
        this,
        [this, paths] {
            for (const QString& path : paths) Open(path);
        },
        Qt::QueuedConnection);
}

void FillRecentCollectionsMenu(QMenu* menu, const RecentFiles& recent,
                               const std::function<void(const QString&)>& open) {
    if (recent.paths().isEmpty()) {
        menu->addAction(QCoreApplication::translate("TemplateBrowser", "（なし）"))->setEnabled(false);
        return;
    }
    int number = 0;
    for (const QString& path : recent.paths()) {
        ++number;
        // "&1 art.mlt": a digit to choose it by, the name, and where it is as a tip.
        const QString label = (number < 10 ? QStringLiteral("&%1 ").arg(number) : QString()) +
                              QFileInfo(path).fileName().replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = menu->addAction(label);
        action->setToolTip(path);
        action->setStatusTip(path);
        QObject::connect(action, &QAction::triggered, menu, [open, path] { open(path); });
    }
}

}  // namespace quarvel::ui
