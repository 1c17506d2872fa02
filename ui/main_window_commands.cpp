// The main window's commands: the menu (settings files, about box, exit), the colour
// swatches and paths dropped on the window.

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QWidget>

#include <system_error>

#include "engine/messages.h"
#include "settings/settings_file.h"
#include "ui/about_box.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/resources.h"
#include "ui/kit/tab_control.h"
#include "ui/kit/text_codec.h"
#include "ui/main_window.h"
#include "ui/preview_window.h"
#include "ui/template_browser.h"

namespace quarvel::ui {

using settings::LoadGeneralSettings;
using settings::SaveGeneralSettings;
using settings::SettingsLoad;

using engine::ImageFolderClaims;

using render::Appearance;
using render::PngForm;
using render::RenderReport;

using platform::Color;

namespace {

Color ToColor(const QColor& c) {
    return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
            static_cast<std::uint8_t>(c.blue())};
}

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

void MainWindow::OnDropFiles(const std::vector<std::filesystem::path>& paths) {
    pendingDrops_.insert(pendingDrops_.end(), paths.begin(), paths.end());
    // Dropped while a command or job runs: the paths wait for its end.
    if (!IsBusy()) RunPendingDrops();
}

void MainWindow::RunPendingDrops() {
    if (IsBusy()) return;
    const CommandScope command(*this);
    // The paths dropped together are one run: no two of its documents share an
    // image folder.
    dropClaims_ = std::make_unique<ImageFolderClaims>();
    while (!pendingDrops_.empty() && !closeRequested_) {
        const std::filesystem::path path = pendingDrops_.front();
        pendingDrops_.pop_front();
        DispatchDroppedPath(path);
    }
    dropClaims_.reset();
    if (closeRequested_) pendingDrops_.clear();
}

void MainWindow::DispatchDroppedPath(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return;  // skipped without a message
    const QString text = QFile::decodeName(QByteArray::fromStdString(path.native()));
    if (!std::filesystem::is_directory(status) && IsCollectionPath(text)) {
        // A template collection is opened to look through, never converted.
        OpenCollection(text);
    } else if (std::filesystem::is_directory(status)) {
        tabControl_->SetCurFocus(1);
        folderPage_.SetTargetFolder(text);
        folderPage_.Generate();
    } else {
        tabControl_->SetCurFocus(0);
        filePage_.SetTargetFile(text);
        filePage_.Generate();
    }
}

std::vector<std::filesystem::path> MainWindow::OpenPaths(const std::vector<std::filesystem::path>& paths) {
    std::vector<std::filesystem::path> leftAlone;
    int firstTab = -1;
    bool fileSet = false;
    bool folderSet = false;
    for (const std::filesystem::path& path : paths) {
        std::error_code error;
        const auto status = std::filesystem::status(path, error);
        if (error || !std::filesystem::exists(status)) continue;
        const QString text = QFile::decodeName(QByteArray::fromStdString(path.native()));
        const bool folder = std::filesystem::is_directory(status);
        if (!folder && IsCollectionPath(text)) {
            OpenCollection(text);
            continue;
        }
        bool& set = folder ? folderSet : fileSet;
        if (set) {
            leftAlone.push_back(path);
            continue;
        }
        set = true;
        if (folder) {
            folderPage_.SetTargetFolder(text);
        } else {
            filePage_.SetTargetFile(text);
        }
        if (firstTab < 0) firstTab = folder ? 1 : 0;
    }
    if (firstTab >= 0) tabControl_->SetCurFocus(firstTab);
    return leftAlone;
}

void MainWindow::OnTextColor() {
    // The chooser opens on black, not on the current colour.
    if (const auto chosen = GetPrompts().chooseColor(this, QColor(0, 0, 0))) {
        look_.textColor = ToColor(*chosen);
        ShowSwatches();
        client_->repaint();
        ShownChanged();
    }
}

void MainWindow::OnBackColor() {
    if (const auto chosen = GetPrompts().chooseColor(this, QColor(0, 0, 0))) {
        look_.backColor = ToColor(*chosen);
        ShowSwatches();
        client_->repaint();
        ShownChanged();
    }
}

void MainWindow::OnAppAbout() {
    AboutBox about(this);
    about.exec();
}

void MainWindow::OnPreview() {
    if (!preview_) {
        preview_ = new PreviewWindow(this, [this](RenderReport* report) {
            const Appearance look = ShownLook();
            return PreviewWindow::Drawn{copyPastePage_.Render(look, report), look, copyPastePage_.artEdit()->Guides()};
        });
        connect(preview_->copyButton(), &QPushButton::clicked, &copyPastePage_, &CopyPastePage::CopyPicture);
    }
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
}

void MainWindow::ShownChanged() {
    copyPastePage_.LookChanged();
    if (preview_) preview_->Schedule();
    if (templates_) templates_->LookChanged();
}

void MainWindow::KeepRecentCollections(const QString& store) { recentCollections_.KeepIn(store); }

TemplateBrowser& MainWindow::Templates() {
    if (!templates_) {
        templates_ = new TemplateBrowser(
            this, [this] { return ShownLook(); }, [this] { return pngForm_; }, recentCollections_);
        connect(templates_, &TemplateBrowser::sendToBox, this, &MainWindow::InsertIntoBox);
    }
    return *templates_;
}

void MainWindow::OnOpenCollection() { Templates().OnOpen(); }

void MainWindow::OpenCollection(const QString& path) { Templates().Open(path); }

void MainWindow::InsertIntoBox(const QString& text) {
    tabControl_->SetCurFocus(2);
    copyPastePage_.edit()->ReplaceSel(text);
}

void MainWindow::AddRecentCollectionsMenu() {
    QAction* open = menu_->findChild<QAction*>(QStringLiteral("cmd%1").arg(ID_OPEN_COLLECTION));
    auto* fileMenu = open ? qobject_cast<QMenu*>(open->parent()) : nullptr;
    if (!fileMenu) return;
    auto* recent = new QMenu(QCoreApplication::translate("MainWindow", "最近開いたテンプレート集(&R)"), fileMenu);
    recent->setObjectName(QStringLiteral("recentCollections"));
    const QList<QAction*> items = fileMenu->actions();
    const qsizetype at = items.indexOf(open);
    fileMenu->insertMenu(at + 1 < items.size() ? items[at + 1] : nullptr, recent);
    connect(recent, &QMenu::aboutToShow, this, [this, recent] {
        recent->clear();
        FillRecentCollectionsMenu(recent, recentCollections_, [this](const QString& path) { OpenCollection(path); });
    });
}

void MainWindow::OnIndexedPng() {
    // The menu has already moved the check mark; the form follows it.
    if (indexedPngAction_) pngForm_ = indexedPngAction_->isChecked() ? PngForm::indexed : PngForm::rgb;
}

void MainWindow::OnExit() {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

FileDialogRequest MainWindow::SettingsFileRequest() {
    return {QStringLiteral("ini"),
            {QCoreApplication::translate("MainWindow", "設定ファイル (*.ini)"),
             QCoreApplication::translate("MainWindow", "All Files (*.*)")}};
}

void MainWindow::OnLoadSettings() {
    if (const auto chosen = GetPrompts().askOpenFile(this, SettingsFileRequest())) {
        const std::filesystem::path path = QFile::encodeName(*chosen).toStdString();
        filePage_.LoadSettings(path);
        folderPage_.LoadSettings(path);
        copyPastePage_.LoadSettings(path);
        // Taken as read: a margin out of range shows until the next check refuses it.
        Appearance look = look_;
        PngForm form = pngForm_;
        const Result<SettingsLoad> loaded = LoadGeneralSettings(path, look, form);
        // A file of another program, or no INI file at all, changes nothing: say so
        // rather than leave the user to believe the settings were loaded. So is a file
        // that is there but cannot be read.
        std::error_code ec;
        if (loaded && !loaded->settingsFile) {
            GetPrompts().showMessage(this,
                                     QCoreApplication::translate("MainWindow", "%1\n設定が見つかりません").arg(*chosen),
                                     MessageIcon::none);
        } else if (!loaded && std::filesystem::exists(path, ec)) {
            GetPrompts().showMessage(this, FailureMessage(*chosen, loaded.failure()), MessageIcon::none);
        }
        pngForm_ = form;
        SetLook(look);
    }
    client_->repaint();
}

void MainWindow::OnSaveSettingsAs() {
    // A refused margin stops the command, as it stops the generate button.
    if (!ReadControls()) return;
    const auto chosen = GetPrompts().askSaveFile(this, SettingsFileRequest());
    if (!chosen) return;
    const std::filesystem::path path = QFile::encodeName(*chosen).toStdString();
    Result<void> written = filePage_.SaveSettings(path);
    if (written) written = folderPage_.SaveSettings(path);
    if (written) written = copyPastePage_.SaveSettings(path);
    if (written) written = SaveGeneralSettings(path, look_, pngForm_);
    // A file that could not be written is said so; the user would otherwise take
    // the settings for saved. Each write replaces the file whole, so it is never
    // left half-written.
    if (!written) GetPrompts().showMessage(this, FailureMessage(*chosen, written.failure()), MessageIcon::none);
}

void MainWindow::OnCommand(int id) {
    switch (id) {
    case ID_EXIT: OnExit(); break;
    case ID_LOAD_SETTINGS: OnLoadSettings(); break;
    case ID_SAVE_SETTINGS_AS: OnSaveSettingsAs(); break;
    case ID_APP_ABOUT: OnAppAbout(); break;
    case ID_PREVIEW: OnPreview(); break;
    case ID_OPEN_COLLECTION: OnOpenCollection(); break;
    case ID_RESTORE_DOCUMENT:
        if (!IsBusy()) {
            // A command of its own: what its job came to is summed up when it ends.
            const CommandScope command(*this);
            filePage_.Restore();
        }
        break;
    case ID_INDEXED_PNG: OnIndexedPng(); break;
    case ID_FILL_TO:
    case ID_ALIGN_RIGHT_EDGES:
    case ID_TOGGLE_GUIDE:
    case ID_CLEAR_GUIDES: OnArtCommand(id); break;
    default: break;
    }
}

void MainWindow::OnArtCommand(int id) {
    // The commands of the copy-paste box, from wherever they are given.
    tabControl_->SetCurFocus(2);
    switch (id) {
    case ID_FILL_TO: copyPastePage_.FillTo(); break;
    case ID_ALIGN_RIGHT_EDGES: copyPastePage_.AlignRightEdges(); break;
    case ID_TOGGLE_GUIDE: copyPastePage_.ToggleGuide(); break;
    case ID_CLEAR_GUIDES: copyPastePage_.ClearGuides(); break;
    default: break;
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) { AcceptAsCopy(event); }

void MainWindow::dragMoveEvent(QDragMoveEvent* event) { AcceptAsCopy(event); }

void MainWindow::dropEvent(QDropEvent* event) {
    if (!AcceptAsCopy(event)) return;
    const auto paths = LocalPaths(event->mimeData());
    // Handled after the drop has returned to the source, so that a long job does
    // not hold the drag source waiting.
    QMetaObject::invokeMethod(
        this, [this, paths] { OnDropFiles(paths); }, Qt::QueuedConnection);
}

}  // namespace quarvel::ui
