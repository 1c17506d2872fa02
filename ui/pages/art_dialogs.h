#pragma once
// The questions of the copy-paste page's art commands: the pixel to fill the gap at the
// caret to ("空白で位置まで埋める"), and the pixel to align the lines' right edges at
// ("右端をそろえる").

#include <QDialog>

#include <optional>

class QSpinBox;
class QRadioButton;

namespace quarvel::ui {

class ArtEdit;

// The pixel typed, or taken from the line above or below (where the caret would line
// up there) or from the next guide; the first guide right of the gap, else the line
// above, else where the next character stands now, to begin with.
class FillToDialog : public QDialog {
    Q_OBJECT
public:
    FillToDialog(QWidget* parent, const ArtEdit& edit);
    ~FillToDialog() override;
    int Target() const;
    QSpinBox* pixelBox() const { return pixel_; }

private:
    QSpinBox* pixel_ = nullptr;
};

// The widest of the lines (without the blanks at their ends), or a pixel typed.
class AlignDialog : public QDialog {
    Q_OBJECT
public:
    AlignDialog(QWidget* parent, int widest, int lines);
    ~AlignDialog() override;
    int Target() const;
    QSpinBox* pixelBox() const { return pixel_; }

private:
    int widest_;
    QRadioButton* toWidest_ = nullptr;
    QSpinBox* pixel_ = nullptr;
};

}  // namespace quarvel::ui
