#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <system_error>

#include "ui/about_box.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/tab_control.h"
#include "ui/kit/prompts.h"
#include "settings/settings_file.h"
#include "ui/kit/resources.h"
#include "ui/kit/text_codec.h"
#include "engine/conversion.h"
#include "ui/job_runner.h"

namespace quarvel::ui {
namespace {

COLORREF ToColorRef(const QColor& c) {
    return MakeColorRef(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                        static_cast<std::uint8_t>(c.blue()));
}

QColor ToQColor(COLORREF c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

std::vector<std::filesystem::path> LocalPaths(const QMimeData* data) {
    std::vector<std::filesystem::path> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.emplace_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    return paths;
}

// Takes a drag of local paths as a copy. Accepting the move that a file manager
// proposes (Shift held) would have it delete the files it dropped here.
bool AcceptAsCopy(QDropEvent* event) {
    if (!(event->possibleActions() & Qt::CopyAction) || LocalPaths(event->mimeData()).empty()) return false;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

}  // namespace

CQuarvelDlg::CommandScope::CommandScope(CQuarvelDlg& dlg) : dlg_(dlg) { ++dlg_.commandDepth; }

CQuarvelDlg::CommandScope::~CommandScope() {
    if (--dlg_.commandDepth > 0) return;
    // Queued, so that what waited runs after the command has fully returned.
    if (dlg_.closeRequested) {
        // The user asked to quit: paths still waiting are not converted.
        dlg_.pendingDrops.clear();
        QMetaObject::invokeMethod(&dlg_, [d = &dlg_] { d->done(d->closeResult); }, Qt::QueuedConnection);
    } else if (!dlg_.pendingDrops.empty()) {
        QMetaObject::invokeMethod(&dlg_, [d = &dlg_] { d->RunPendingDrops(); }, Qt::QueuedConnection);
    }
}

CQuarvelDlg::CQuarvelDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    menu = new QMenuBar(this);
    layout->setMenuBar(menu);
    client = new QWidget(this);
    client->installEventFilter(this);
    layout->addWidget(client);

    const auto dlg = LoadDialogTemplate(IDD_QUARVEL_DIALOG);
    if (dlg) {
        CreateControls(*dlg, client, [](const ControlTemplate& c, QWidget* host) -> QWidget* {
            return c.kind == QStringLiteral("tab") ? new COwnerTabCtrl(host) : nullptr;
        });
        LoadMenu(menu, dlg->menu);
        setFont(client->font());
        menu->setFont(client->font());
    }
    btnGenerate = qobject_cast<QPushButton*>(GetDlgItem(client, IDC_GENERATE));
    tabControl = qobject_cast<COwnerTabCtrl*>(GetDlgItem(client, IDC_TAB));
    swatchBack = GetDlgItem(client, IDC_BACK_COLOR);
    swatchText = GetDlgItem(client, IDC_TEXT_COLOR);
    checkSpace = qobject_cast<QCheckBox*>(GetDlgItem(client, IDC_SPACE));
    editMargin = qobject_cast<QLineEdit*>(GetDlgItem(client, IDC_MARGIN));
    Q_ASSERT(btnGenerate && tabControl && swatchBack && swatchText && checkSpace && editMargin);

    connect(btnGenerate, &QPushButton::clicked, this, &CQuarvelDlg::OnGenerate);
    connect(menu, &QMenuBar::triggered, this, [this](QAction* a) { OnCommand(a->data().toInt()); });
    if (dlg) {
        const QSize clientSize = DialogUnits(client->font()).Map(dlg->size);
        resize(clientSize.width(), clientSize.height() + menu->sizeHint().height());
    }
    OnInitDialog();
}

CQuarvelDlg::~CQuarvelDlg() = default;

void CQuarvelDlg::OnInitDialog() {
    setWindowIcon(AppIcon());
    setWindowTitle(VersionLine());
    bSpace = true;
    iMargin = 0;

    tabControl->InsertItem(0, QStringLiteral("ファイル"), &filePage);
    tabControl->InsertItem(1, QStringLiteral("フォルダ"), &folderPage);
    tabControl->InsertItem(2, QStringLiteral("コピペ"), &copyPastePage);
    filePage.Create(tabControl);
    folderPage.Create(tabControl);
    copyPastePage.Create(tabControl);
    filePage.host = this;
    folderPage.host = this;
    copyPastePage.host = this;
    tabControl->LayoutPages();
    filePage.show();
    client->update();

    progressDlg.Create(this);
    UpdateData(false);
}

bool CQuarvelDlg::UpdateData(bool bSaveAndValidate) {
    if (!bSaveAndValidate) {
        checkSpace->setChecked(bSpace);
        editMargin->setText(QString::number(iMargin));
        return true;
    }
    bSpace = checkSpace->isChecked();
    bool isNumber = false;
    const unsigned value = editMargin->text().trimmed().toUInt(&isNumber);
    QString refusal;
    if (!isNumber) {
        refusal = QStringLiteral("正の整数を入力してください。");
    } else if (value > kMaxMargin) {
        refusal = QStringLiteral("%1 から %2 までの整数を入力してください。").arg(0).arg(kMaxMargin);
    }
    if (!refusal.isEmpty()) {
        // A refused number is not kept: a later drop converts with the last good one.
        GetPrompts().showMessage(this, refusal, MessageIcon::warning);
        editMargin->setFocus(Qt::OtherFocusReason);
        editMargin->selectAll();
        return false;
    }
    iMargin = value;
    return true;
}

Appearance CQuarvelDlg::Look() const { return {colFore, colBack, static_cast<int>(iMargin), bSpace}; }

bool CQuarvelDlg::StartJob(const std::function<void(JobProgress& progress)>& body) {
    return RunWorkerJob(*this, [this, &body] { body(progressDlg); });
}

void CQuarvelDlg::OnGenerate() {
    if (IsBusy()) return;
    const CommandScope command(*this);
    // A refused margin stops the command; nothing is generated with it.
    if (!UpdateData(true)) return;
    switch (tabControl->GetCurFocus()) {
    case 0:
        filePage.Generate();
        break;
    case 1:
        folderPage.Generate();
        break;
    case 2:
        copyPastePage.Generate();
        break;
    default:
        break;
    }
}

void CQuarvelDlg::OnDropFiles(const std::vector<std::filesystem::path>& paths) {
    pendingDrops.insert(pendingDrops.end(), paths.begin(), paths.end());
    // Dropped while a command or job runs: the paths wait for its end.
    if (!IsBusy()) RunPendingDrops();
}

void CQuarvelDlg::RunPendingDrops() {
    if (IsBusy()) return;
    const CommandScope command(*this);
    while (!pendingDrops.empty() && !closeRequested) {
        const std::filesystem::path path = pendingDrops.front();
        pendingDrops.pop_front();
        DispatchDroppedPath(path);
    }
    if (closeRequested) pendingDrops.clear();
}

void CQuarvelDlg::DispatchDroppedPath(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return;  // skipped without a message
    const QString text = QFile::decodeName(QByteArray::fromStdString(path.native()));
    if (std::filesystem::is_directory(status)) {
        tabControl->SetCurFocus(1);
        folderPage.strTargetFolder = text;
        folderPage.UpdateData(false);
        folderPage.Generate();
    } else {
        tabControl->SetCurFocus(0);
        filePage.strTargetFile = text;
        filePage.UpdateData(false);
        filePage.Generate();
    }
}

void CQuarvelDlg::OnTextColor() {
    // The chooser opens on black, not on the current colour.
    if (const auto chosen = GetPrompts().chooseColor(this, QColor(0, 0, 0))) {
        colFore = ToColorRef(*chosen);
        client->repaint();
    }
}

void CQuarvelDlg::OnBackColor() {
    if (const auto chosen = GetPrompts().chooseColor(this, QColor(0, 0, 0))) {
        colBack = ToColorRef(*chosen);
        client->repaint();
    }
}

void CQuarvelDlg::OnAppAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CQuarvelDlg::OnExit() {
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

FileDialogRequest CQuarvelDlg::SettingsFileRequest() {
    return {QStringLiteral("ini"), {QStringLiteral("設定ファイル (*.ini)"), QStringLiteral("All Files (*.*)")}};
}

void CQuarvelDlg::OnLoadSettings() {
    if (const auto chosen = GetPrompts().askOpenFile(this, SettingsFileRequest())) {
        const std::filesystem::path path = QFile::encodeName(*chosen).toStdString();
        filePage.LoadSettings(path);
        folderPage.LoadSettings(path);
        copyPastePage.LoadSettings(path);
        // Taken as read: a margin out of range shows until the next check refuses it.
        GeneralSettings general{colFore, colBack, static_cast<int>(iMargin), bSpace};
        const SettingsLoadResult loaded = LoadGeneralSettings(path, general);
        // A file of another program, or no INI file at all, changes nothing: say so
        // rather than leave the user to believe the settings were loaded. So is a file
        // that is there but cannot be read.
        std::error_code ec;
        if (loaded == SettingsLoadResult::noSettings) {
            GetPrompts().showMessage(this, QStringLiteral("%1\n設定が見つかりません").arg(*chosen), MessageIcon::none);
        } else if (loaded == SettingsLoadResult::unreadable && std::filesystem::exists(path, ec)) {
            GetPrompts().showMessage(this, QStringLiteral("%1\n%2").arg(*chosen, FromCp932(TextFileOpenFailed())),
                                     MessageIcon::none);
        }
        colFore = general.colFore;
        colBack = general.colBack;
        iMargin = static_cast<unsigned>(general.iMargin);
        bSpace = general.bSpace;
        UpdateData(false);
    }
    client->repaint();
}

void CQuarvelDlg::OnSaveSettingsAs() {
    // A refused margin stops the command, as it stops the generate button.
    if (!UpdateData(true)) return;
    const auto chosen = GetPrompts().askSaveFile(this, SettingsFileRequest());
    if (!chosen) return;
    const std::filesystem::path path = QFile::encodeName(*chosen).toStdString();
    ProfileWriteResult written = filePage.SaveSettings(path);
    if (written) written = folderPage.SaveSettings(path);
    if (written) written = copyPastePage.SaveSettings(path);
    if (written) {
        written = SaveGeneralSettings(
            path, GeneralSettings{colFore, colBack, static_cast<int>(iMargin), bSpace});
    }
    // A file that could not be written is said so; the user would otherwise take
    // the settings for saved. Each write replaces the file whole, so it is never
    // left half-written.
    if (!written) {
        GetPrompts().showMessage(this, QStringLiteral("%1\n%2").arg(*chosen, FromCp932(TextFileWriteFailed())),
                                 MessageIcon::none);
    }
}

void CQuarvelDlg::OnCommand(int id) {
    switch (id) {
    case ID_EXIT:
        OnExit();
        break;
    case ID_LOAD_SETTINGS:
        OnLoadSettings();
        break;
    case ID_SAVE_SETTINGS_AS:
        OnSaveSettingsAs();
        break;
    case ID_APP_ABOUT:
        OnAppAbout();
        break;
    default:
        break;
    }
}

QRect CQuarvelDlg::SwatchRect(int id) const {
    const QWidget* swatch = id == IDC_TEXT_COLOR ? swatchText : swatchBack;
    return swatch->geometry();
}

void CQuarvelDlg::OnSize() {
    if (!tabControl || !tabControl->isVisible()) return;
    const QRect tab = tabControl->geometry();
    tabControl->resize(client->width(), client->height() - tab.top());
    tabControl->LayoutPages();
}

void CQuarvelDlg::OnPaint() {
    QPainter painter(client);
    painter.fillRect(SwatchRect(IDC_TEXT_COLOR), ToQColor(colFore));
    painter.fillRect(SwatchRect(IDC_BACK_COLOR), ToQColor(colBack));
}

void CQuarvelDlg::OnLButtonDown(QPoint point) {
    // Both edges count: a click on the right or bottom edge line still hits.
    const auto hits = [point](const QRect& r) {
        return r.left() <= point.x() && point.x() <= r.left() + r.width() && r.top() <= point.y() &&
               point.y() <= r.top() + r.height();
    };
    if (hits(SwatchRect(IDC_TEXT_COLOR))) OnTextColor();
    if (hits(SwatchRect(IDC_BACK_COLOR))) OnBackColor();
}

bool CQuarvelDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client) {
        switch (event->type()) {
        case QEvent::Paint:
            OnPaint();
            return true;
        case QEvent::Resize:
            OnSize();
            break;
        case QEvent::Show:
            OnSize();
            break;
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) OnLButtonDown(mouse->position().toPoint());
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool CQuarvelDlg::FocusIsInPage() const { return tabControl->PageIndexOf(QApplication::focusWidget()) >= 0; }

void CQuarvelDlg::OnOK() {
    if (UpdateData(true)) accept();
}

void CQuarvelDlg::keyPressEvent(QKeyEvent* event) {
    if ((event->modifiers() & Qt::ControlModifier) &&
        (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown)) {
        // Left over by the window's own controls and the copy-paste box (the file and
        // folder pages and the strip switch on their own): the tabs switch from
        // anywhere in the window.
        if (event->key() == Qt::Key_PageUp) {
            tabControl->SelectPrevTab();
        } else {
            tabControl->SelectNextTab();
        }
        event->accept();
        return;
    }
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
                  event->key() == Qt::Key_Enter)) {
        // Keys left over by a page (its text box's Esc) never end the program; on the
        // window's own controls Esc cancels and Enter is OK, as in any dialog.
        if (!FocusIsInPage()) {
            if (event->key() == Qt::Key_Escape) {
                reject();
            } else {
                OnOK();
            }
        }
        event->accept();
        return;
    }
    event->ignore();
}

void CQuarvelDlg::done(int result) {
    // A close while a command runs waits for the command to end.
    if (IsBusy()) {
        closeRequested = true;
        closeResult = result;
        return;
    }
    QDialog::done(result);
}

void CQuarvelDlg::dragEnterEvent(QDragEnterEvent* event) { AcceptAsCopy(event); }

void CQuarvelDlg::dragMoveEvent(QDragMoveEvent* event) { AcceptAsCopy(event); }

void CQuarvelDlg::dropEvent(QDropEvent* event) {
    if (!AcceptAsCopy(event)) return;
    const auto paths = LocalPaths(event->mimeData());
    // Handled after the drop has returned to the source, so that a long job does
    // not hold the drag source waiting.
    QMetaObject::invokeMethod(this, [this, paths] { OnDropFiles(paths); }, Qt::QueuedConnection);
}

}  // namespace quarvel::ui
