#include "ui/main_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/job_runner.h"
#include "ui/job_summary_window.h"
#include "ui/kit/color_swatch.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/draft_keeper.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/resources.h"
#include "ui/kit/tab_control.h"
#include "ui/preview_window.h"

namespace quarvel::ui {

using engine::JobProgress;
using engine::JobResult;

using render::Appearance;
using render::kMaxMargin;
using render::PngForm;

using platform::Color;

namespace {

QColor ToQColor(Color c) { return QColor(c.red, c.green, c.blue); }

}  // namespace

MainWindow::CommandScope::CommandScope(MainWindow& window) : window_(window) { ++window_.commandDepth_; }

MainWindow::CommandScope::~CommandScope() {
    if (--window_.commandDepth_ > 0) return;
    // Queued, so that what waited runs after the command has fully returned.
    if (!window_.jobResults_.empty() && !window_.closeRequested_) {
        QMetaObject::invokeMethod(
            &window_, [w = &window_, results = std::move(window_.jobResults_)] { w->ShowJobSummary(results); },
            Qt::QueuedConnection);
    }
    window_.jobResults_.clear();
    if (window_.closeRequested_) {
        // The user asked to quit: paths still waiting are not converted.
        window_.pendingDrops_.clear();
        QMetaObject::invokeMethod(
            &window_, [w = &window_] { w->done(w->closeResult_); }, Qt::QueuedConnection);
    } else if (!window_.pendingDrops_.empty()) {
        QMetaObject::invokeMethod(
            &window_, [w = &window_] { w->RunPendingDrops(); }, Qt::QueuedConnection);
    }
}

MainWindow::MainWindow(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    setSizeGripEnabled(false);
    CreateWindowControls();
    OnInitDialog();
}

MainWindow::~MainWindow() {
    // Before the box goes.
    draft_.reset();
}

void MainWindow::KeepDraft(const QString& draftPath) {
    draft_.reset();
    draft_ = std::make_unique<DraftKeeper>(copyPastePage_.edit(), draftPath);
}

void MainWindow::CreateWindowControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    menu_ = new QMenuBar(this);
    layout->setMenuBar(menu_);
    client_ = new QWidget(this);
    client_->installEventFilter(this);
    layout->addWidget(client_);

    const auto dlg = LoadDialogTemplate(IDD_QUARVEL_DIALOG);
    if (dlg) {
        CreateControls(*dlg, client_, [](const ControlTemplate& c, QWidget* host) -> QWidget* {
            if (c.kind == QStringLiteral("tab")) return new TabControl(host);
            if (c.id == IDC_TEXT_COLOR)
                return new ColorSwatch(QCoreApplication::translate("MainWindow", "文字色"), host);
            if (c.id == IDC_BACK_COLOR)
                return new ColorSwatch(QCoreApplication::translate("MainWindow", "背景色"), host);
            return nullptr;
        });
        LoadMenu(menu_, dlg->menu);
        AddRecentCollectionsMenu();
        setFont(client_->font());
        menu_->setFont(client_->font());
    }
    generateButton_ = qobject_cast<QPushButton*>(GetDlgItem(client_, IDC_GENERATE));
    tabControl_ = qobject_cast<TabControl*>(GetDlgItem(client_, IDC_TAB));
    backSwatch_ = qobject_cast<ColorSwatch*>(GetDlgItem(client_, IDC_BACK_COLOR));
    textSwatch_ = qobject_cast<ColorSwatch*>(GetDlgItem(client_, IDC_TEXT_COLOR));
    spaceCheck_ = qobject_cast<QCheckBox*>(GetDlgItem(client_, IDC_SPACE));
    marginEdit_ = qobject_cast<QLineEdit*>(GetDlgItem(client_, IDC_MARGIN));
    scaleBox_ = qobject_cast<QComboBox*>(GetDlgItem(client_, IDC_SCALE));
    transparentCheck_ = qobject_cast<QCheckBox*>(GetDlgItem(client_, IDC_TRANSPARENT));
    indexedPngAction_ = menu_->findChild<QAction*>(QStringLiteral("cmd%1").arg(ID_INDEXED_PNG));
    Q_ASSERT(generateButton_ && tabControl_ && backSwatch_ && textSwatch_ && spaceCheck_ && marginEdit_ && scaleBox_ &&
             transparentCheck_ && indexedPngAction_);
    for (int scale = 1; scale <= render::kMaxScale; ++scale)
        scaleBox_->addItem(QCoreApplication::translate("MainWindow", "%1倍").arg(scale));
    // Its list of items, which screen readers meet as a list of its own.
    scaleBox_->view()->setAccessibleName(QCoreApplication::translate("MainWindow", "倍率"));
    transparentCheck_->setAccessibleName(QCoreApplication::translate("MainWindow", "背景を透明に"));

    connect(generateButton_, &QPushButton::clicked, this, &MainWindow::OnGenerate);
    connect(textSwatch_, &ColorSwatch::clicked, this, &MainWindow::OnTextColor);
    connect(backSwatch_, &ColorSwatch::clicked, this, &MainWindow::OnBackColor);
    connect(marginEdit_, &QLineEdit::textChanged, this, &MainWindow::ShownChanged);
    connect(spaceCheck_, &QCheckBox::toggled, this, &MainWindow::ShownChanged);
    connect(scaleBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0 || look_.scale == index + 1) return;
        look_.scale = index + 1;
        ShownChanged();
    });
    connect(transparentCheck_, &QCheckBox::toggled, this, [this](bool on) {
        if (look_.transparentBack == on) return;
        look_.transparentBack = on;
        ShowSwatches();
        ShownChanged();
    });
    connect(menu_, &QMenuBar::triggered, this, [this](QAction* a) { OnCommand(a->data().toInt()); });
    if (dlg) {
        const QSize clientSize = DialogUnits(client_->font()).Map(dlg->size);
        resize(clientSize.width(), clientSize.height() + menu_->sizeHint().height());
    }
}

void MainWindow::SizeToPages() {
    // Each page as its template sizes it, or as far as its controls reach when the
    // fonts at hand make them larger, and a margin of the template's around them.
    const DialogUnits units(client_->font());
    const QSize margin(units.X(5), units.Y(5));
    QSize page;
    for (int i = 0; i < tabControl_->GetItemCount(); ++i) {
        if (const QWidget* p = tabControl_->GetItemPage(i)) {
            const QRect used = p->childrenRect();
            page = page.expandedTo(p->size()).expandedTo(QSize(used.right() + 1, used.bottom() + 1) + margin);
        }
    }
    // The strip and the frame around the pages.
    const QSize chrome = tabControl_->size() - tabControl_->DisplayRect().size();
    int width = page.width() + chrome.width();
    for (const QWidget* control : client_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control != tabControl_ && !control->isHidden())
            width = std::max(width, control->geometry().right() + 1 + margin.width());
    }
    const QSize client(width, tabControl_->y() + page.height() + chrome.height());
    client_->setMinimumSize(client);
    resize(client.width(), client.height() + menu_->sizeHint().height());
}

void MainWindow::OnInitDialog() {
    setWindowIcon(AppIcon());
    setWindowTitle(VersionLine());
    look_ = Appearance{};
    pngForm_ = PngForm::rgb;

    tabControl_->InsertItem(0, QCoreApplication::translate("MainWindow", "ファイル"), &filePage_);
    tabControl_->InsertItem(1, QCoreApplication::translate("MainWindow", "フォルダ"), &folderPage_);
    tabControl_->InsertItem(2, QCoreApplication::translate("MainWindow", "コピペ"), &copyPastePage_);
    filePage_.Create(tabControl_, this);
    folderPage_.Create(tabControl_, this);
    copyPastePage_.Create(tabControl_, this);
    connect(copyPastePage_.edit(), &QPlainTextEdit::textChanged, this, &MainWindow::ShownChanged);
    connect(copyPastePage_.artEdit(), &ArtEdit::guidesChanged, this, &MainWindow::ShownChanged);
    SizeToPages();
    tabControl_->LayoutPages();
    filePage_.show();
    client_->update();

    progressWindow_.Create(this);
    WriteControls();
    copyPastePage_.LookChanged();
}

bool MainWindow::StartJob(const std::function<JobResult(JobProgress& progress)>& body) {
    JobResult result;
    if (!RunJob([this, &body, &result] { result = body(progressWindow_); })) return false;
    jobResults_.push_back(std::move(result));
    return true;
}

void MainWindow::ShowJobSummary(const std::vector<JobResult>& results) {
    if (!jobSummary_) jobSummary_ = new JobSummaryWindow(this);
    jobSummary_->ShowResults(results);
}

bool MainWindow::RunJob(const std::function<void()>& threadProc) {
    // Paths dropped meanwhile wait and run after the job.
    const CommandScope command(*this);
    return RunWorkerJob(JobWindow{progressWindow_, generateButton_, this}, threadProc);
}

void MainWindow::SetLook(const Appearance& look) {
    look_ = look;
    look_.scale = std::clamp(look.scale, 1, render::kMaxScale);  // one the files can have
    WriteControls();
    client_->update();
    ShownChanged();
}

void MainWindow::WriteControls() {
    ShowSwatches();
    spaceCheck_->setChecked(look_.collapseSpaces);
    scaleBox_->setCurrentIndex(look_.scale - 1);
    transparentCheck_->setChecked(look_.transparentBack);
    if (indexedPngAction_) indexedPngAction_->setChecked(pngForm_ == PngForm::indexed);
    // A margin read from a settings file shows as the program has always shown it:
    // as an unsigned number, until the next check refuses it.
    marginEdit_->setText(QString::number(static_cast<unsigned>(look_.margin)));
}

Appearance MainWindow::ShownLook() const {
    Appearance look = look_;
    look.collapseSpaces = spaceCheck_->isChecked();
    bool isNumber = false;
    const unsigned value = marginEdit_->text().trimmed().toUInt(&isNumber);
    if (isNumber && value <= static_cast<unsigned>(kMaxMargin)) look.margin = static_cast<int>(value);
    return look;
}

std::optional<Appearance> MainWindow::TakeLook() {
    if (!ReadControls()) return std::nullopt;
    return look_;
}

bool MainWindow::ReadControls() {
    look_.collapseSpaces = spaceCheck_->isChecked();
    bool isNumber = false;
    const unsigned value = marginEdit_->text().trimmed().toUInt(&isNumber);
    QString refusal;
    if (!isNumber) {
        refusal = QCoreApplication::translate("MainWindow", "正の整数を入力してください。");
    } else if (value > static_cast<unsigned>(kMaxMargin)) {
        refusal = QCoreApplication::translate("MainWindow", "%1 から %2 までの整数を入力してください。")
                      .arg(0)
                      .arg(kMaxMargin);
    }
    if (!refusal.isEmpty()) {
        // A refused number is not kept: a later drop converts with the last good one.
        GetPrompts().showMessage(this, refusal, MessageIcon::warning);
        marginEdit_->setFocus(Qt::OtherFocusReason);
        marginEdit_->selectAll();
        return false;
    }
    look_.margin = static_cast<int>(value);
    return true;
}

void MainWindow::OnGenerate() {
    if (IsBusy()) return;
    const CommandScope command(*this);
    // A refused margin stops the command; nothing is generated with it.
    if (!ReadControls()) return;
    switch (tabControl_->GetCurFocus()) {
    case 0: filePage_.Generate(); break;
    case 1: folderPage_.Generate(); break;
    case 2: copyPastePage_.Generate(); break;
    default: break;
    }
}

QWidget* MainWindow::textSwatch() const { return textSwatch_; }
QWidget* MainWindow::backSwatch() const { return backSwatch_; }

QRect MainWindow::SwatchRect(int id) const {
    const QWidget* swatch = id == IDC_TEXT_COLOR ? textSwatch_ : backSwatch_;
    return swatch->geometry();
}

void MainWindow::OnSize() {
    if (!tabControl_ || !tabControl_->isVisible()) return;
    const QRect tab = tabControl_->geometry();
    tabControl_->resize(client_->width(), client_->height() - tab.top());
    tabControl_->LayoutPages();
}

void MainWindow::ShowSwatches() {
    textSwatch_->SetColor(ToQColor(look_.textColor));
    backSwatch_->SetColor(ToQColor(look_.backColor));
    backSwatch_->SetTransparent(look_.transparentBack);
}

void MainWindow::OnLButtonDown(QPoint point) {
    // A click inside a swatch is the swatch's own. Both edges count: a click on the
    // line just right of or below a swatch still hits it.
    const auto hits = [point](const QRect& r) {
        return r.left() <= point.x() && point.x() <= r.left() + r.width() && r.top() <= point.y() &&
               point.y() <= r.top() + r.height();
    };
    if (hits(SwatchRect(IDC_TEXT_COLOR))) OnTextColor();
    if (hits(SwatchRect(IDC_BACK_COLOR))) OnBackColor();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_) {
        switch (event->type()) {
        case QEvent::Resize: OnSize(); break;
        case QEvent::Show: OnSize(); break;
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) OnLButtonDown(mouse->position().toPoint());
            break;
        }
        default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if ((event->modifiers() & Qt::ControlModifier) &&
        (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown)) {
        // Left over by the window's own controls and the copy-paste box (the file and
        // folder pages and the strip switch on their own): the tabs switch from
        // anywhere in the window.
        if (event->key() == Qt::Key_PageUp) {
            tabControl_->SelectPrevTab();
        } else {
            tabControl_->SelectNextTab();
        }
        event->accept();
        return;
    }
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // Neither key ends the program, as a dialog's OK and Cancel would: the art in
        // the copy-paste box would go with it. It ends by the close box, "終了" and
        // Ctrl+Q. Enter in the margin box takes its value.
        if (event->key() != Qt::Key_Escape && QApplication::focusWidget() == marginEdit_) ReadControls();
        event->accept();
        return;
    }
    event->ignore();
}

void MainWindow::done(int result) {
    // A close while a command runs waits for the command to end.
    if (IsBusy()) {
        closeRequested_ = true;
        closeResult_ = result;
        return;
    }
    if (draft_) draft_->SaveNow();
    QDialog::done(result);
}

}  // namespace quarvel::ui
