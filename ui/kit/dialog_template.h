#pragma once
// Dialog templates kept as data (res/dialogs/<id>.json): the window's size, font and
// caption and its numbered controls, positioned in dialog units. The controls are
// built as Qt widgets placed by converting dialog units with the base units of the
// dialog's font, the way Windows lays out a dialog.

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

class QWidget;

namespace quarvel::ui {

struct ControlTemplate {
    int id = -1;   // -1 for controls without an ID (labels)
    QString kind;  // static, icon, edit, button, checkbox, radio, groupbox, tab, swatch
    QString text;
    QRect rect;  // dialog units
    QStringList style;

    bool Has(const QString& flag) const { return style.contains(flag); }
};

struct DialogTemplate {
    int id = 0;
    QSize size;  // client area, dialog units
    int pointSize = 9;
    QString face;
    QString caption;
    int menu = 0;
    QStringList style;
    QVector<ControlTemplate> controls;
};

// Reads template `id` from the resources, its caption and the texts its controls show
// translated (context "Dialogs"); nothing when it is missing or malformed.
std::optional<DialogTemplate> LoadDialogTemplate(int id);

// The installed face that stands in for a face a template names ("ＭＳ Ｐゴシック"
// becomes IPA P Gothic, then Monapo).
QFont ResolveDialogFont(const QString& face, int pointSize);

// Converts dialog units into pixels with the base units of a font.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const;
    int Y(int units) const;
    QRect Map(const QRect& units) const;
    QSize Map(const QSize& units) const { return {X(units.width()), Y(units.height())}; }
    QSize base() const { return {baseX_, baseY_}; }

private:
    int baseX_ = 6;
    int baseY_ = 12;
};

// Makes a control for a template entry, or returns null to let the builder make the
// standard one. The control must be a child of `host`.
using ControlFactory = std::function<QWidget*(const ControlTemplate&, QWidget* host)>;

// Sets `host`'s font and makes the template's controls as its children, in template
// order (which is also the tab order). Each control is named after its ID (see GetDlgItem).
// A label with text names the edit box or swatch right after it: it becomes the label's
// buddy (its accessible name, the target of the label's mnemonic "(&M)"); further
// boxes in a row after the first are named after the label and numbered ("開始タグ 2").
// Radio buttons right after a label go into a RadioGroup that the label names and is
// the buddy of.
void CreateControls(const DialogTemplate& dlg, QWidget* host, const ControlFactory& factory = {});

// A child window made from template `id`: its controls on `page` (see CreateControls),
// and `page` sized to the template. Nothing happens when the template is missing.
void CreatePageControls(int id, QWidget* page, const ControlFactory& factory = {});

// The control with `id` among the descendants of `root`, or null.
QWidget* GetDlgItem(const QWidget* root, int id);

}  // namespace quarvel::ui
