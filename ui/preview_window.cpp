#include "ui/preview_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/kit/picture_image.h"
#include "ui/kit/warning_texts.h"

namespace quarvel::ui {

using render::RenderReport;

using platform::Picture;

PreviewWindow::PreviewWindow(QWidget* parent, Source source) : QWidget(parent, Qt::Window), source_(std::move(source)) {
    setWindowTitle(QStringLiteral("プレビュー"));
    setObjectName(QStringLiteral("preview"));

    scroll_ = new QScrollArea(this);
    scroll_->setAccessibleName(QStringLiteral("プレビュー"));
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture_ = new QLabel;
    picture_->setAccessibleName(QStringLiteral("画像"));
    picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroll_->setWidget(picture_);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setWordWrap(true);  // a long warning never widens the window
    copyButton_ = new QPushButton(QStringLiteral("画像をコピー"), this);
    copyButton_->setAutoDefault(false);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(copyButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll_, 1);
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
    const Picture picture = source_(&report);
    image_ = PictureImage(picture);
    // One picture pixel on one device pixel, whatever the screen's scale.
    QPixmap pixmap = QPixmap::fromImage(image_);
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    picture_->setPixmap(pixmap);
    picture_->resize(pixmap.deviceIndependentSize().toSize());
    status_->setText(StatusText(picture.width, picture.height, report));
}

QString PreviewWindow::StatusText(int width, int height, const RenderReport& report) {
    const QString size = QStringLiteral("%1 × %2 ピクセル").arg(width).arg(height);
    const QStringList warnings = PictureWarnings(report);
    if (warnings.isEmpty()) return size;
    return size + QStringLiteral("　警告: ") + warnings.join(QStringLiteral("、"));
}

void PreviewWindow::showEvent(QShowEvent* event) {
    Refresh();
    if (!sized_) {
        // First shown: as large as the picture, within most of the screen.
        sized_ = true;
        const QSize frame = scroll_->frameSize() - scroll_->viewport()->size();
        QSize wanted = picture_->size() + frame + QSize(layout()->contentsMargins().left() * 2, 0) +
                       QSize(0, status_->sizeHint().height() + copyButton_->sizeHint().height());
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            wanted = wanted.boundedTo(screen->availableSize() * 4 / 5);
        resize(wanted.expandedTo(QSize(360, 160)));
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
    QWidget::keyPressEvent(event);
}

}  // namespace quarvel::ui
