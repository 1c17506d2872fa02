#include "ui/preview_window.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/kit/picture_image.h"
#include "ui/kit/picture_view.h"
#include "ui/kit/warning_texts.h"

namespace quarvel::ui {

using render::RenderReport;

using platform::Picture;

PreviewWindow::PreviewWindow(QWidget* parent, Source source) : QWidget(parent, Qt::Window), source_(std::move(source)) {
    setWindowTitle(QCoreApplication::translate("PreviewWindow", "プレビュー"));
    setObjectName(QStringLiteral("preview"));

    scroll_ = new QScrollArea(this);
    scroll_->setAccessibleName(QCoreApplication::translate("PreviewWindow", "プレビュー"));
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture_ = new PictureView;
    picture_->setAccessibleName(QCoreApplication::translate("PreviewWindow", "画像"));
    scroll_->setWidget(picture_);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setWordWrap(true);  // a long warning never widens the window
    auto* zoomLabel = new QLabel(QCoreApplication::translate("PreviewWindow", "倍率(&Z)"), this);
    zoomBox_ = new QComboBox(this);
    zoomBox_->addItem(QCoreApplication::translate("PreviewWindow", "ウィンドウに合わせる"));
    for (int zoom = 1; zoom <= kMaxZoom; ++zoom) zoomBox_->addItem(QStringLiteral("%1%").arg(zoom * 100));
    zoomBox_->setCurrentIndex(zoom_);
    zoomLabel->setBuddy(zoomBox_);
    connect(zoomBox_, &QComboBox::currentIndexChanged, this, &PreviewWindow::SetZoom);
    copyButton_ = new QPushButton(QCoreApplication::translate("PreviewWindow", "画像をコピー"), this);
    copyButton_->setAutoDefault(false);

    // The status line on a row of its own: a long warning wraps there, never squeezed
    // beside the buttons.
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(zoomLabel);
    bottom->addWidget(zoomBox_);
    bottom->addStretch(1);
    bottom->addWidget(copyButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll_, 1);
    layout->addWidget(status_);
    layout->addLayout(bottom);

    timer_.setSingleShot(true);
    timer_.setInterval(kRedrawDelayMs);
    connect(&timer_, &QTimer::timeout, this, &PreviewWindow::Refresh);
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::Schedule() {
    if (isVisible()) timer_.start();
}

void PreviewWindow::Refresh() {
    timer_.stop();
    RenderReport report;
    const Drawn drawn = source_(&report);
    const Picture& picture = drawn.picture;
    image_ =
        drawn.look.transparentBack ? PictureImage(picture, render::DrawnBackColor(drawn.look)) : PictureImage(picture);
    fileScale_ = std::clamp(drawn.look.scale, 1, render::kMaxScale);
    picture_->SetImage(image_);
    std::vector<int> marks;
    const int margin = std::clamp(drawn.look.margin, 0, render::kMaxMargin);
    for (int guide : drawn.guides) marks.push_back(margin + guide);
    picture_->SetMarks(std::move(marks));
    ApplyZoom();
    // The size of the file, as saved.
    status_->setText(StatusText(picture.width * fileScale_, picture.height * fileScale_, report));
}

void PreviewWindow::SetZoom(int zoom) {
    zoom_ = std::clamp(zoom, 0, kMaxZoom);
    if (zoomBox_->currentIndex() != zoom_) zoomBox_->setCurrentIndex(zoom_);
    ApplyZoom();
}

void PreviewWindow::ApplyZoom() {
    const qreal ratio = devicePixelRatioF();
    int scale = zoom_ * fileScale_ * WholeDeviceScale(ratio);
    if (zoom_ == 0 && !image_.isNull()) {
        // The most whole device pixels per picture pixel with which it shows whole; at
        // least one, however small the window.
        const QSize room = scroll_->maximumViewportSize() * ratio;
        scale = std::max(
            1, std::min(room.width() / std::max(1, image_.width()), room.height() / std::max(1, image_.height())));
    }
    picture_->SetScale(scale);
}

QString PreviewWindow::StatusText(int width, int height, const RenderReport& report) {
    const QString size = QCoreApplication::translate("PreviewWindow", "%1 × %2 ピクセル").arg(width).arg(height);
    const QStringList warnings = PictureWarnings(report);
    if (warnings.isEmpty()) return size;
    return QCoreApplication::translate("PreviewWindow", "%1　警告: %2")
        .arg(size, warnings.join(QCoreApplication::translate("PreviewWindow", "、")));
}

void PreviewWindow::showEvent(QShowEvent* event) {
    Refresh();
    if (!sized_) {
        // First shown: as large as the picture at 100 %, within most of the screen:
        // the bottom row as wide as it wants, then the room the picture lacks.
        sized_ = true;
        const QSize most = screen() ? screen()->availableSize() * 4 / 5 : QSize(1024, 768);
        resize(layout()->sizeHint().expandedTo(QSize(360, 160)).boundedTo(most));
        // A status line that wraps takes more room in a smaller window: measured again
        // until the picture has its room, or the window its largest size.
        for (int pass = 0; pass < 3; ++pass) {
            layout()->activate();
            const QSize lacking = (picture_->size() - scroll_->viewport()->size()).expandedTo(QSize(0, 0));
            const QSize next = (size() + lacking).boundedTo(most);
            if (next == size()) break;
            resize(next);
        }
    }
    QWidget::showEvent(event);
}

void PreviewWindow::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    // Ctrl with plus (or '=', its key without Shift), minus, 0: one step larger,
    // smaller, 100 %; a step from "fit" goes on from 100 %.
    if (event->modifiers() & Qt::ControlModifier) {
        const int from = std::max(zoom_, 1);
        switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal: SetZoom(std::min(from + 1, kMaxZoom)); return;
        case Qt::Key_Minus: SetZoom(std::max(from - 1, 1)); return;
        case Qt::Key_0: SetZoom(1); return;
        default: break;
        }
    }
    QWidget::keyPressEvent(event);
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (zoom_ == 0) ApplyZoom();
}

}  // namespace quarvel::ui
