#include "ui/piece_list.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

#include "render/references.h"
#include "render/tokens.h"
#include "ui/kit/picture_image.h"
#include "ui/kit/picture_view.h"
#include "ui/kit/text_codec.h"

namespace quarvel::ui {

using engine::Collection;
using engine::CollectionKind;
using engine::Piece;

using render::Appearance;
using render::kLinePitch;
using render::kMaxLines;
using render::kMaxTextWidth;
using render::RenderPicture;
using render::RenderReport;
using render::TextEncoding;

using platform::Picture;

namespace {

// Space around a row's label and picture; the picture has a line around it, outside
// its own pixels, so that where it ends shows on a background of its colour.
constexpr int kPadding = 6;

// Text as a search compares it: compatibility forms as their plain characters (half-
// and full-width alike, "ｷﾗ" as "キラ", "１２" as "12"), without regard to case.
QString Folded(const QString& text) { return text.normalized(QString::NormalizationForm_KC).toCaseFolded(); }

}  // namespace

PieceList::PieceList(Collection collection, const Appearance& look, QObject* parent)
    : QAbstractListModel(parent),
      collection_(std::make_shared<const Collection>(std::move(collection))),
      look_(look),
      slots_(collection_->pieces.size()),
      texts_(collection_->pieces.size()) {
    shown_.resize(collection_->pieces.size());
    for (std::size_t i = 0; i < shown_.size(); ++i) shown_[i] = static_cast<int>(i);
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    relayout_.setSingleShot(true);
    relayout_.setInterval(0);
    connect(&relayout_, &QTimer::timeout, this, [this] { emit layoutChanged(); });
}

PieceList::~PieceList() {
    pool_.clear();
    pool_.waitForDone();
}

int PieceList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant PieceList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const int piece = PieceAt(index.row());
    const Slot& slot = slots_[static_cast<std::size_t>(piece)];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return Label(piece);
    case PieceIndexRole: return piece;
    case PictureRole: return slot.image;
    case PictureSizeRole: return slot.image.isNull() ? ExpectedSize(piece) : slot.image.size();
    default: return {};
    }
}

QString PieceList::Label(int piece) const {
    QString label = QString::number(piece + 1);
    const Piece& p = collection_->pieces[static_cast<std::size_t>(piece)];
    if (collection_->kind == CollectionKind::ast && p.nameLength > 0)
        label += QLatin1Char(' ') + QString::fromStdString(collection_->ShortName(p));
    return label;
}

QString PieceList::SearchedLabel(int piece) const {
    QString label = QString::number(piece + 1);
    const Piece& p = collection_->pieces[static_cast<std::size_t>(piece)];
    if (collection_->kind == CollectionKind::ast && p.nameLength > 0)
        label += QLatin1Char(' ') + QString::fromStdString(collection_->Name(p));
    return label;
}

QString PieceList::Text(int piece) const {
    const std::string_view bytes = collection_->Text(collection_->pieces[static_cast<std::size_t>(piece)]);
    QString decoded = collection_->encoding == TextEncoding::utf8
                          ? QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
                          : FromCp932(bytes);
    decoded.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    decoded.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return decoded;
}

QString PieceList::SearchKey(int piece) const {
    std::optional<QString>& kept = texts_[static_cast<std::size_t>(piece)];
    if (kept) return *kept;
    // The text as written and as drawn (its references decoded: "&#9829;" is "♥").
    const QString text = Text(piece);
    QString key = Folded(text);
    if (text.contains(QLatin1Char('&')))
        key += QLatin1Char('\n') + Folded(QString::fromStdString(render::DecodedReferencesUtf8(text.toStdString())));
    // Only the keys of small texts are kept for the next search: a huge one is made
    // again rather than held.
    if (collection_->Text(collection_->pieces[static_cast<std::size_t>(piece)]).size() <= kKeptTextBytes) kept = key;
    return key;
}

Picture PieceList::Draw(int piece) const {
    const std::string input = collection_->RendererInput(collection_->pieces[static_cast<std::size_t>(piece)]);
    return RenderPicture(input.c_str(), look_);
}

QSize PieceList::ExpectedSize(int piece) const {
    // The lines that show and the longest of them, counted in the bytes: the height is
    // the one the picture will have (unless its last lines are blank), the width a guess.
    Slot& slot = slots_[static_cast<std::size_t>(piece)];
    if (slot.expected.isValid()) return slot.expected;
    const std::string_view text = collection_->Text(collection_->pieces[static_cast<std::size_t>(piece)]);
    int lines = 1;
    std::size_t longest = 0, start = 0;
    for (std::size_t i = 0; i < text.size() && lines <= kMaxLines; ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        longest = std::max(longest, i - start);
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
        ++lines;
    }
    if (lines <= kMaxLines) longest = std::max(longest, text.size() - start);
    const int margin = std::clamp(look_.margin, 0, render::kMaxMargin);
    const int perByte = collection_->encoding == TextEncoding::utf8 ? 6 : 8;
    const int width = std::min<int>(kMaxTextWidth, static_cast<int>(std::min<std::size_t>(longest, 1024)) * perByte);
    slot.expected = QSize(width + 2 * margin, std::min(lines, kMaxLines) * kLinePitch + 2 * margin);
    return slot.expected;
}

void PieceList::SetFilter(const QString& query) {
    const QString wanted = Folded(query.trimmed());
    bool isNumber = false;
    const int number = wanted.toInt(&isNumber);
    beginResetModel();
    shown_.clear();
    for (int piece = 0; piece < pieceCount(); ++piece) {
        if (wanted.isEmpty() || (isNumber && number == piece + 1) || Folded(SearchedLabel(piece)).contains(wanted) ||
            SearchKey(piece).contains(wanted))
            shown_.push_back(piece);
    }
    endResetModel();
}

void PieceList::SetLook(const Appearance& look) {
    pool_.clear();
    look_ = look;
    ++generation_;
    for (Slot& slot : slots_) slot = Slot{};
    relayout_.start();
}

void PieceList::Want(int row) const {
    if (row < 0 || row >= rowCount()) return;
    const int piece = PieceAt(row);
    Slot& slot = slots_[static_cast<std::size_t>(piece)];
    if (!slot.image.isNull() || slot.queued) return;
    slot.queued = true;
    // The model waits for its workers before it goes, so the picture always has
    // somewhere to arrive; a picture of an older look is dropped there.
    auto* self = const_cast<PieceList*>(this);
    pool_.start(
        [self, collection = collection_, look = look_, piece, generation = generation_] {
            RenderReport report;
            const std::string input = collection->RendererInput(collection->pieces[static_cast<std::size_t>(piece)]);
            QImage image = CompactPictureImage(RenderPicture(input.c_str(), look, &report));
            QMetaObject::invokeMethod(
                self, [self, piece, generation, image = std::move(image)] { self->Arrived(piece, generation, image); },
                Qt::QueuedConnection);
        },
        ++nextPriority_);
}

void PieceList::Arrived(int piece, int generation, QImage image) {
    if (generation != generation_) return;
    Slot& slot = slots_[static_cast<std::size_t>(piece)];
    const QSize expected = ExpectedSize(piece);
    slot.image = std::move(image);
    slot.queued = false;
    const int row = RowOf(piece);
    if (row < 0) return;
    if (slot.image.size() != expected) relayout_.start();
    const QModelIndex at = index(row);
    emit dataChanged(at, at, {PictureRole, PictureSizeRole});
    emit pictureDrawn(row);
}

int PieceList::RowOf(int piece) const {
    const auto at = std::lower_bound(shown_.begin(), shown_.end(), piece);
    return at != shown_.end() && *at == piece ? static_cast<int>(at - shown_.begin()) : -1;
}

QRect PieceDelegate::PictureRect(const QRect& row, const QSize& picture, int labelHeight, qreal devicePixelRatio) {
    // Whole device pixels to a picture pixel: on a screen of ratio 2 each takes 2 x 2,
    // so the picture has the size of everything around it and stays sharp.
    const QSize size = ScaledSize(picture, WholeDeviceScale(devicePixelRatio), devicePixelRatio);
    return {row.left() + kPadding, row.top() + kPadding / 2 + labelHeight + 2, size.width(), size.height()};
}

void PieceDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The selection's colour around the picture, never over it.
    opt.text.clear();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    const int labelHeight = opt.fontMetrics.height();
    const QRect label(opt.rect.left() + kPadding, opt.rect.top() + kPadding / 2, opt.rect.width() - 2 * kPadding,
                      labelHeight);
    painter->save();
    painter->setPen(opt.palette.color(QPalette::Normal,
                                      opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(label, Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());

    const qreal ratio = painter->device()->devicePixelRatioF();
    const QSize size = index.data(PieceList::PictureSizeRole).toSize();
    const QRect target = PictureRect(opt.rect, size, labelHeight, ratio);
    // The line around first: drawn after, it could fall on the picture's last column
    // of device pixels.
    painter->setPen(opt.palette.color(QPalette::Mid));
    painter->drawRect(target.adjusted(-1, -1, 0, 0));
    const QImage image = index.data(PieceList::PictureRole).value<QImage>();
    if (image.isNull()) {
        // Drawn in a moment: the place it will take.
        painter->fillRect(target, opt.palette.color(QPalette::AlternateBase));
        if (const auto* list = qobject_cast<const PieceList*>(index.model())) list->Want(index.row());
    } else {
        DrawPicture(*painter, target.topLeft(), image, WholeDeviceScale(ratio));
    }
    painter->restore();
    if (opt.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(opt);
        focus.rect = opt.rect.adjusted(1, 1, -1, -1);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

QSize PieceDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QSize picture = index.data(PieceList::PictureSizeRole).toSize();
    const qreal ratio = option.widget ? option.widget->devicePixelRatioF() : 1.0;
    const int labelHeight = option.fontMetrics.height();
    const QRect target = PictureRect(QRect(0, 0, 0, 0), picture, labelHeight, ratio);
    const int labelWidth = option.fontMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString());
    return {std::max(target.right() + 1, labelWidth) + 2 * kPadding, target.bottom() + 1 + kPadding};
}

}  // namespace quarvel::ui
