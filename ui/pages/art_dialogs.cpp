#include "ui/pages/art_dialogs.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "render/tokens.h"
#include "ui/pages/art_edit.h"

namespace quarvel::ui {

namespace {

QSpinBox* PixelBox(QWidget* parent, int value) {
    auto* box = new QSpinBox(parent);
    box->setRange(0, render::kMaxTextWidth);
    box->setSuffix(QCoreApplication::translate("ArtDialogs", " px"));
    box->setValue(value);
    box->selectAll();
    return box;
}

QDialogButtonBox* OkAndCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace

FillToDialog::FillToDialog(QWidget* parent, const ArtEdit& edit) : QDialog(parent) {
    setWindowTitle(QCoreApplication::translate("ArtDialogs", "空白で位置まで埋める"));
    const ArtEdit::GapSpan gap = edit.GapAtCaret();
    const std::optional<int> above = edit.NearestStartInLine(-1);
    const std::optional<int> below = edit.NearestStartInLine(1);
    const std::optional<int> guide = edit.NextGuide();
    auto* now = new QLabel(QCoreApplication::translate("ArtDialogs", "キャレットの後の文字は今 %1 px から始まります（空白は %2 px から）。")
                               .arg(gap.to)
                               .arg(gap.from),
                           this);
    now->setWordWrap(true);
    auto* label = new QLabel(QCoreApplication::translate("ArtDialogs", "次の文字の位置(&P):"), this);
    pixel_ = PixelBox(this, guide ? *guide : above ? *above : gap.to);
    label->setBuddy(pixel_);
    auto* grid = new QGridLayout;
    grid->addWidget(label, 0, 0);
    grid->addWidget(pixel_, 0, 1);
    int row = 1;
    const auto offer = [&](const QString& text, std::optional<int> value) {
        auto* button = new QPushButton(value ? text.arg(*value) : text.arg(QStringLiteral("-")), this);
        button->setAutoDefault(false);
        button->setEnabled(value.has_value());
        if (value) connect(button, &QPushButton::clicked, this, [this, v = *value] { pixel_->setValue(v); });
        grid->addWidget(button, row++, 1);
    };
    offer(QCoreApplication::translate("ArtDialogs", "上の行にそろえる: %1 px(&U)"), above);
    offer(QCoreApplication::translate("ArtDialogs", "下の行にそろえる: %1 px(&D)"), below);
    offer(QCoreApplication::translate("ArtDialogs", "次のガイド: %1 px(&G)"), guide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(now);
    layout->addLayout(grid);
    layout->addWidget(OkAndCancel(this));
    pixel_->setFocus();
}

FillToDialog::~FillToDialog() = default;

int FillToDialog::Target() const { return pixel_->value(); }

AlignDialog::AlignDialog(QWidget* parent, int widest, int lines) : QDialog(parent), widest_(widest) {
    setWindowTitle(QCoreApplication::translate("ArtDialogs", "右端をそろえる"));
    auto* what = new QLabel(QCoreApplication::translate("ArtDialogs", "%n 行の終わりを空白で埋めます。", nullptr, lines), this);
    toWidest_ = new QRadioButton(QCoreApplication::translate("ArtDialogs", "最も広い行の右端: %1 px(&W)").arg(widest), this);
    auto* toPixel = new QRadioButton(QCoreApplication::translate("ArtDialogs", "位置(&P):"), this);
    pixel_ = PixelBox(this, widest);
    pixel_->setEnabled(false);
    pixel_->setAccessibleName(QCoreApplication::translate("ArtDialogs", "位置"));
    connect(toPixel, &QRadioButton::toggled, pixel_, &QWidget::setEnabled);
    toWidest_->setChecked(true);
    auto* row = new QHBoxLayout;
    row->addWidget(toPixel);
    row->addWidget(pixel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(what);
    layout->addWidget(toWidest_);
    layout->addLayout(row);
    layout->addWidget(OkAndCancel(this));
}

AlignDialog::~AlignDialog() = default;

int AlignDialog::Target() const { return toWidest_->isChecked() ? widest_ : pixel_->value(); }

}  // namespace quarvel::ui
