#pragma once
// The preview window ("プレビュー"): the picture of the copy-paste box as the generate
// button would save it, scrollable, with a status line (its size, and what the
// picture leaves out), its zoom ("倍率": fit, 100 % to 400 %, Ctrl+plus, Ctrl+minus,
// Ctrl+0) and a button that copies it to the clipboard. At 100 % a picture pixel
// takes as many whole device pixels as the screen's scale times the scale of the
// picture's file, never smoothed, and a transparent background shows as a checkerboard; the
// guides of the copy-paste box are marked over it. It redraws
// a moment after the text or the look last changed, so that typing never waits for a
// picture. Closing it hides it and changes nothing.

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

#include "platform/picture.h"
#include "render/renderer.h"

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;

namespace quarvel::ui {

class PictureView;

class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    // The picture to show and the look it was drawn in.
    struct Drawn {
        platform::Picture picture;
        render::Appearance look;
        // Guides at x of the text (without the margin), marked over the picture as the
        // window's own lines, never part of it.
        std::vector<int> guides = {};
    };
    // Draws the picture to show and tells what it leaves out.
    using Source = std::function<Drawn(render::RenderReport* report)>;

    // How long the window waits after the last change before it redraws.
    static constexpr int kRedrawDelayMs = 150;

    PreviewWindow(QWidget* parent, Source source);
    ~PreviewWindow() override;

    // Something shown changed: redraws after kRedrawDelayMs without a further change;
    // nothing while the window is hidden (it redraws when shown).
    void Schedule();
    // Redraws now.
    void Refresh();

    // The status line for a picture of `width` x `height` with `report`.
    static QString StatusText(int width, int height, const render::RenderReport& report);

    // The zoom: 0 fits the picture in the window, 1 to kMaxZoom are 100 % to 400 %.
    static constexpr int kMaxZoom = 4;
    void SetZoom(int zoom);
    int zoom() const { return zoom_; }

    // The picture at scale 1, transparent where its file is.
    const QImage& image() const { return image_; }
    QLabel* statusLine() const { return status_; }
    QPushButton* copyButton() const { return copyButton_; }
    QScrollArea* scrollArea() const { return scroll_; }
    QComboBox* zoomBox() const { return zoomBox_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Device pixels per picture pixel at the zoom, in the room the window has.
    void ApplyZoom();

    Source source_;
    QTimer timer_{this};  // the redraw after kRedrawDelayMs, the window's one timer
    QImage image_;
    int fileScale_ = 1;  // the scale of the picture's file
    bool sized_ = false;
    QScrollArea* scroll_ = nullptr;
    PictureView* picture_ = nullptr;
    QComboBox* zoomBox_ = nullptr;
    int zoom_ = 1;
    QLabel* status_ = nullptr;
    QPushButton* copyButton_ = nullptr;
};

}  // namespace quarvel::ui
