#pragma once
// The pieces of one template collection as a list for a view: each piece's number,
// name and picture, drawn exactly as the generate button draws text art. Pictures are
// drawn only when the view asks for them (the rows it shows), on worker threads, the
// rows asked for last first; until then a row has the height its lines will take.
// A search narrows the rows shown.

#include <QAbstractListModel>
#include <QImage>
#include <QStyledItemDelegate>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

#include "engine/collection.h"
#include "render/appearance.h"
#include "render/renderer.h"

namespace quarvel::ui {

class PieceList : public QAbstractListModel {
    Q_OBJECT
public:
    // What a row offers besides its label (Qt::DisplayRole, "12 名前").
    enum Role {
        PieceIndexRole = Qt::UserRole,  // int: the piece's index in the collection (from 0)
        PictureRole,                    // QImage: its picture, null until drawn
        PictureSizeRole,                // QSize: the picture's size, or the height its lines will take
    };

    PieceList(engine::Collection collection, const render::Appearance& look, QObject* parent = nullptr);
    ~PieceList() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const engine::Collection& collection() const { return *collection_; }
    int pieceCount() const { return static_cast<int>(collection_->pieces.size()); }
    // The piece of a row shown (its index in the collection).
    int PieceAt(int row) const { return shown_[static_cast<std::size_t>(row)]; }

    // "12 名前": the piece's number from 1, and its name when it has one (the start of a
    // long one, engine::Collection::ShortName).
    QString Label(int piece) const;
    // The piece's text as the copy-paste box takes it (line breaks as '\n').
    QString Text(int piece) const;
    // The piece drawn now, on this thread (for the clipboard).
    platform::Picture Draw(int piece) const;

    // Shows only the pieces whose number is `query`, or whose name or text (as written
    // or as drawn, its references decoded) holds it, in any width and case; all of them
    // for an empty query.
    void SetFilter(const QString& query);
    // Draws every picture again in `look`.
    void SetLook(const render::Appearance& look);

    // The view shows the row: its picture is drawn unless it is or is on its way.
    void Want(int row) const;
    // Waits for the workers (tests and the benchmark).
    void WaitForWorkers() { pool_.waitForDone(); }

signals:
    // A picture arrived for the row.
    void pictureDrawn(int row);

private:
    struct Slot {
        QImage image;
        render::RenderReport report;
        bool queued = false;
        QSize expected;  // ExpectedSize, once known
    };
    // The search keys kept: those of texts of at most this many bytes.
    static constexpr std::size_t kKeptTextBytes = 64 << 10;

    // The label with the whole name, as the search looks at it.
    QString SearchedLabel(int piece) const;

    void Arrived(int piece, int generation, QImage image);
    // The piece's text folded as the search compares it, as written and as drawn.
    QString SearchKey(int piece) const;
    int RowOf(int piece) const;
    // The height a piece's picture will have: its lines at the pitch, and the margins.
    QSize ExpectedSize(int piece) const;

    std::shared_ptr<const engine::Collection> collection_;
    render::Appearance look_;
    std::vector<int> shown_;  // the pieces shown, in collection order
    mutable std::vector<Slot> slots_;
    // The search's key of each piece, made when first needed and kept for small texts
    // (see SearchKey).
    mutable std::vector<std::optional<QString>> texts_;
    mutable QThreadPool pool_;
    mutable int nextPriority_ = 0;  // the row asked for last is drawn first
    int generation_ = 0;            // pictures of an older look are dropped
    // The view lays its rows out again once pictures of a new size have arrived.
    QTimer relayout_;
};

// Paints a row: its label, and under it the picture pixel for pixel (a whole number of
// device pixels to a picture pixel on screens of high density), never smoothed.
class PieceDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Where the picture of a row lies within the row's rectangle `row` (at 100 %, see
    // WholeDeviceScale).
    static QRect PictureRect(const QRect& row, const QSize& picture, int labelHeight, qreal devicePixelRatio);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace quarvel::ui
