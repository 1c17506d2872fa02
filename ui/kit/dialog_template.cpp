#include "ui/kit/dialog_template.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "ui/kit/accessibility.h"
#include "ui/kit/resources.h"
#include "ui/kit/screen_font.h"

namespace quarvel::ui {
namespace {

QRect RectFrom(const QJsonValue& value) {
    const QJsonArray a = value.toArray();
    if (a.size() != 4) return {};
    return {a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()};
}

QStringList StringsFrom(const QJsonValue& value) {
    QStringList out;
    for (const QJsonValue& v : value.toArray()) out << v.toString();
    return out;
}

QLabel* MakeStatic(const ControlTemplate& c, QWidget* host) {
    auto* label = new QLabel(c.text, host);
    Qt::Alignment align = Qt::AlignLeft;
    if (c.Has(QStringLiteral("right"))) align = Qt::AlignRight;
    if (c.Has(QStringLiteral("center"))) align = Qt::AlignHCenter;
    align |= c.Has(QStringLiteral("centerimage")) ? Qt::AlignVCenter : Qt::AlignTop;
    label->setAlignment(align);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QWidget* MakeStandard(const ControlTemplate& c, QWidget* host, QButtonGroup*& buttonGroup) {
    const QString& kind = c.kind;
    if (kind == QStringLiteral("static")) return MakeStatic(c, host);
    if (kind == QStringLiteral("icon")) {
        auto* label = new QLabel(host);
        label->setPixmap(AppIcon().pixmap(32, 32));
        return label;
    }
    if (kind == QStringLiteral("button")) {
        auto* button = new QPushButton(c.text, host);
        button->setDefault(c.Has(QStringLiteral("default")));
        return button;
    }
    if (kind == QStringLiteral("checkbox")) return new QCheckBox(c.text, host);
    if (kind == QStringLiteral("radio")) {
        auto* radio = new QRadioButton(c.text, host);
        // Radio buttons form a group from one marked "group" up to the next one.
        if (c.Has(QStringLiteral("group")) || !buttonGroup) buttonGroup = new QButtonGroup(host);
        buttonGroup->addButton(radio);
        return radio;
    }
    if (kind == QStringLiteral("groupbox")) return new QGroupBox(c.text, host);
    // A drop-down list; its items are the window's to fill.
    if (kind == QStringLiteral("combobox")) return new QComboBox(host);
    if (kind == QStringLiteral("edit")) {
        if (c.Has(QStringLiteral("multiline"))) {
            auto* edit = new QPlainTextEdit(host);
            edit->setPlainText(c.text);
            return edit;
        }
        auto* edit = new QLineEdit(c.text, host);
        // A path dropped on a box is a drop on the window, which converts it; the box
        // never takes it as text.
        edit->setAcceptDrops(false);
        if (c.Has(QStringLiteral("number"))) {
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        }
        edit->setReadOnly(c.Has(QStringLiteral("readonly")));
        return edit;
    }
    return new QWidget(host);
}

// A label's text as a name: without its mnemonic, Japanese style "(&M)" or a plain
// '&' before the letter ("&&" stays one '&').
QString WithoutMnemonic(QString text) {
    static const QRegularExpression suffix(QStringLiteral("\\(&[^&]\\)$"));
    text.remove(suffix);
    static const QRegularExpression amp(QStringLiteral("&(.)"));
    return text.replace(amp, QStringLiteral("\\1"));
}

// Controls that show no text of their own: a label before one names it.
bool TakesItsNameFromALabel(const ControlTemplate& c) {
    return c.kind == QStringLiteral("edit") || c.kind == QStringLiteral("swatch") ||
           c.kind == QStringLiteral("combobox");
}

QString Shown(const QString& text) { return TranslatedResourceText("Dialogs", text); }

// An edit box's text is a value, and an icon's a resource number: neither is words to
// translate.
bool ShowsItsText(const QString& kind) { return kind != QStringLiteral("edit") && kind != QStringLiteral("icon"); }

}  // namespace

std::optional<DialogTemplate> LoadDialogTemplate(int id) {
    QFile file(QStringLiteral(":/dialogs/%1.json").arg(id));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    DialogTemplate dlg;
    dlg.id = o.value(QStringLiteral("id")).toInt();
    const QJsonArray size = o.value(QStringLiteral("size")).toArray();
    dlg.size = QSize(size.at(0).toInt(), size.at(1).toInt());
    const QJsonArray font = o.value(QStringLiteral("font")).toArray();
    dlg.pointSize = font.at(0).toInt(9);
    dlg.face = font.at(1).toString();
    dlg.caption = Shown(o.value(QStringLiteral("caption")).toString());
    dlg.menu = o.value(QStringLiteral("menu")).toInt();
    dlg.style = StringsFrom(o.value(QStringLiteral("style")));
    for (const QJsonValue& v : o.value(QStringLiteral("controls")).toArray()) {
        const QJsonObject c = v.toObject();
        ControlTemplate control;
        control.id = c.value(QStringLiteral("id")).toInt(-1);
        control.kind = c.value(QStringLiteral("kind")).toString();
        control.text = c.value(QStringLiteral("text")).toString();
        if (ShowsItsText(control.kind)) control.text = Shown(control.text);
        control.rect = RectFrom(c.value(QStringLiteral("rect")));
        control.style = StringsFrom(c.value(QStringLiteral("style")));
        dlg.controls.push_back(control);
    }
    return dlg;
}

QFont ResolveDialogFont(const QString& face, int pointSize) {
    QFont font;
    QStringList families;
    if (face == QStringLiteral("ＭＳ Ｐゴシック")) {
        families = {QStringLiteral("IPAPGothic"), QStringLiteral("Monapo"), QStringLiteral("Mona")};
    } else if (face == QStringLiteral("ＭＳ ゴシック")) {
        families = {QStringLiteral("IPAGothic"), QStringLiteral("Monapo")};
    } else {
        families = {face, QStringLiteral("IPAPGothic")};
    }
    font.setFamilies(families);
    font.setPointSize(pointSize);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    // Windows' dialog base units: the average width of the Latin letters (rounded
    // as GdiGetCharDimensions does) and the font's cell height.
    const QFontMetrics metrics(font);
    const int alphabet =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = std::max(1, (alphabet / 26 + 1) / 2);
    baseY_ = std::max(1, metrics.height());
}

int DialogUnits::X(int units) const { return MulDiv(units, baseX_, 4); }
int DialogUnits::Y(int units) const { return MulDiv(units, baseY_, 8); }

QRect DialogUnits::Map(const QRect& units) const {
    return {X(units.x()), Y(units.y()), X(units.width()), Y(units.height())};
}

void CreateControls(const DialogTemplate& dlg, QWidget* host, const ControlFactory& factory) {
    const QFont font = ResolveDialogFont(dlg.face, dlg.pointSize);
    host->setFont(font);
    const DialogUnits units(font);
    QButtonGroup* buttonGroup = nullptr;
    // The label before the control being made, and how many boxes in a row it names.
    QLabel* label = nullptr;
    int named = 0;
    // The radio buttons right after a label go into a group that the label names.
    RadioGroup* radios = nullptr;
    for (qsizetype at = 0; at < dlg.controls.size(); ++at) {
        const ControlTemplate& c = dlg.controls[at];
        const bool isRadio = c.kind == QStringLiteral("radio");
        if (!isRadio) radios = nullptr;
        if (isRadio && label && !radios) {
            QRect area;
            for (qsizetype next = at; next < dlg.controls.size() && dlg.controls[next].kind == c.kind; ++next)
                area |= units.Map(dlg.controls[next].rect);
            radios = new RadioGroup(host);
            radios->setGeometry(area);
            radios->setAccessibleName(WithoutMnemonic(label->text()));
            label->setBuddy(radios);
        }
        QWidget* parent = radios ? radios : host;
        QWidget* control = factory ? factory(c, parent) : nullptr;
        if (!control) control = MakeStandard(c, parent, buttonGroup);
        if (!isRadio) buttonGroup = nullptr;
        if (radios && !radios->focusProxy()) radios->setFocusProxy(control);
        if (label && TakesItsNameFromALabel(c)) {
            // The first box is the label's buddy: screen readers name it by the label,
            // and the label's mnemonic (Alt and its letter) puts the focus in it. The
            // boxes after it in a row share the label and are numbered.
            if (named == 0) {
                label->setBuddy(control);
            } else {
                control->setAccessibleName(QStringLiteral("%1 %2").arg(WithoutMnemonic(label->text())).arg(named + 1));
            }
            ++named;
        } else {
            label = c.kind == QStringLiteral("static") && !c.text.isEmpty() ? qobject_cast<QLabel*>(control) : nullptr;
            named = 0;
        }
        if (c.id >= 0) control->setObjectName(QStringLiteral("ctl%1").arg(c.id));
        control->setGeometry(units.Map(c.rect).translated(radios ? -radios->pos() : QPoint()));
        if (!c.Has(QStringLiteral("tabstop")) && c.kind != QStringLiteral("static") &&
            c.kind != QStringLiteral("icon") && c.kind != QStringLiteral("groupbox")) {
            control->setFocusPolicy(Qt::ClickFocus);
        }
        control->setVisible(!c.Has(QStringLiteral("hidden")));
    }
}

void CreatePageControls(int id, QWidget* page, const ControlFactory& factory) {
    if (const auto dlg = LoadDialogTemplate(id)) {
        CreateControls(*dlg, page, factory);
        page->resize(DialogUnits(page->font()).Map(dlg->size));
    }
}

QWidget* GetDlgItem(const QWidget* root, int id) {
    if (!root || id < 0) return nullptr;
    return root->findChild<QWidget*>(QStringLiteral("ctl%1").arg(id));
}

}  // namespace quarvel::ui
