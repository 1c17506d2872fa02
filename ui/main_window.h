#pragma once
// The main window: the look of the pictures (text and background colour, margin, the
// half-width space switch), the generate button, the menu, and the tab control with
// the three work pages. Files and folders dropped on it are converted one after
// another. Ctrl+PageUp and Ctrl+PageDown switch the tabs from anywhere in it.

#include <QDialog>

#include <deque>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/jobs.h"
#include "render/appearance.h"
#include "ui/kit/prompts.h"
#include "ui/kit/recent_files.h"
#include "ui/pages/copy_paste_page.h"
#include "ui/pages/file_page.h"
#include "ui/pages/folder_page.h"
#include "ui/pages/page_host.h"
#include "ui/progress_window.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenuBar;
class QPushButton;

namespace quarvel::ui {

class ColorSwatch;
class DraftKeeper;
class JobSummaryWindow;
class PreviewWindow;
class TemplateBrowser;
class TabControl;

inline constexpr int IDC_GENERATE = 1005;
inline constexpr int IDC_TEXT_COLOR = 1016;
inline constexpr int IDC_BACK_COLOR = 1017;
inline constexpr int IDC_TAB = 1018;
inline constexpr int IDC_SPACE = 1028;
inline constexpr int IDC_MARGIN = 1029;
inline constexpr int IDC_SCALE = 1030;
inline constexpr int IDC_TRANSPARENT = 1031;

class MainWindow : public QDialog, public PageHost {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // What the pages may ask of the window: the look as last taken from the controls,
    // a job run with the progress window, the window itself as parent of messages.
    render::Appearance Look() const override { return look_; }
    render::Appearance ShownLook() const override;
    std::optional<render::Appearance> TakeLook() override;
    render::PngForm PictureForm() const override { return pngForm_; }
    bool StartJob(const std::function<engine::JobResult(engine::JobProgress& progress)>& body) override;
    // Runs a job's thread procedure on a worker while the window stays live (see
    // RunWorkerJob); the paths dropped meanwhile wait for its end.
    bool RunJob(const std::function<void()>& threadProc);
    engine::ImageFolderClaims* RunClaims() override { return dropClaims_.get(); }
    QWidget* MessageParent() override { return this; }

    // Sets the look and shows it (swatches, margin, space switch, scale, transparency).
    void SetLook(const render::Appearance& look);

    // Takes the margin and the space switch from the controls; false when the margin
    // was refused: the user has been told, the focus is in the margin box and the last
    // good margin stays.
    bool ReadControls();
    // Shows the look (colours, margin, space switch) and the picture form in the controls.
    void WriteControls();

    // The generate button: takes the controls, then the current tab's page Generate.
    void OnGenerate();
    // Paths dropped on the window, in drop order: a folder goes to the folder page, a
    // template collection to its window, anything else to the file page, each one's
    // job after the one before.
    void OnDropFiles(const std::vector<std::filesystem::path>& paths);
    // Paths the program was started with ("Open with"): the first document fills the
    // file page and the first folder the folder page, and the page of the first of
    // them shows; nothing is converted until the user asks. Template collections open
    // in their window. Returns the paths left alone (further documents and folders);
    // missing ones are passed over.
    std::vector<std::filesystem::path> OpenPaths(const std::vector<std::filesystem::path>& paths);
    void OnTextColor();
    void OnBackColor();
    void OnAppAbout();
    // "2色PNG（小さいファイル）": indexed picture files while checked, RGB otherwise.
    void OnIndexedPng();
    void OnExit();
    // "プレビュー" (Ctrl+P): shows the preview window of the copy-paste box, made on
    // first use and kept while the main window lives.
    void OnPreview();
    // "設定を読み込む...": every page's settings, the look and the form of the picture
    // files from a chosen file; the window is redrawn, chosen or not.
    void OnLoadSettings();
    // "名前をつけて設定を保存...": takes the controls (a refused margin stops here), then
    // writes every page's settings, the look and the form of the picture files into a
    // chosen file.
    void OnSaveSettingsAs();
    // Keeps the copy-paste box's text in the file at `draftPath`: what it holds goes
    // into the box now, and what the box holds is written there as it changes and
    // when the window closes.
    void KeepDraft(const QString& draftPath);

    // Keeps the list of the collections opened last in the file at `store`.
    void KeepRecentCollections(const QString& store);

    // "テンプレート集を開く..." (Ctrl+O): asks for a collection and opens it in the
    // template collections window.
    void OnOpenCollection();
    // Opens the collection at `path` in the template collections window.
    void OpenCollection(const QString& path);
    // A piece of a collection sent to the copy-paste box: it goes in where the cursor
    // is, as a paste would, and the copy-paste page shows.
    void InsertIntoBox(const QString& text);

    // The file dialogs of both commands: default extension and filters.
    static FileDialogRequest SettingsFileRequest();

    FilePage& filePage() { return filePage_; }
    FolderPage& folderPage() { return folderPage_; }
    CopyPastePage& copyPastePage() { return copyPastePage_; }
    ProgressWindow& progressWindow() { return progressWindow_; }
    QPushButton* generateButton() const { return generateButton_; }
    TabControl* tabCtrl() const { return tabControl_; }
    QLineEdit* marginEdit() const { return marginEdit_; }
    QCheckBox* spaceCheck() const { return spaceCheck_; }
    // "倍率": the scale of the picture files, 1 to 4, taken at once like the colours.
    QComboBox* scaleBox() const { return scaleBox_; }
    // "透明": the background written transparent, taken at once like its colour.
    QCheckBox* transparentCheck() const { return transparentCheck_; }
    QWidget* textSwatch() const;
    QWidget* backSwatch() const;
    QMenuBar* menuBar() const { return menu_; }
    // The summary of the last command's jobs; null until a job has ended.
    JobSummaryWindow* jobSummary() const { return jobSummary_; }
    // The template collections window; null until a collection was first opened.
    TemplateBrowser* templates() const { return templates_; }
    const RecentFiles& recentCollections() const { return recentCollections_; }
    // The preview window; null until it was first opened.
    PreviewWindow* preview() const { return preview_; }
    QAction* indexedPngAction() const { return indexedPngAction_; }
    QWidget* clientArea() const { return client_; }
    // A swatch's rectangle in client coordinates (control 1016 or 1017).
    QRect SwatchRect(int id) const;

    // Marks a command (the generate button's, a dropped path's or a job) as running
    // for its lifetime. While one runs, dropped paths wait and a close request waits;
    // when the last one ends, the summary of its jobs shows, then waiting paths run or
    // a waiting close happens.
    class CommandScope {
    public:
        explicit CommandScope(MainWindow& window);
        ~CommandScope();
        CommandScope(const CommandScope&) = delete;
        CommandScope& operator=(const CommandScope&) = delete;

    private:
        MainWindow& window_;
    };
    bool IsBusy() const { return commandDepth_ > 0; }
    std::size_t PendingDropCount() const { return pendingDrops_.size(); }

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateWindowControls();
    // The window as large as the controls above the tabs and the largest page need,
    // and no smaller.
    void SizeToPages();
    void OnInitDialog();
    void OnCommand(int id);
    void OnSize();
    // Shows the look's colours in the swatches.
    void ShowSwatches();
    void OnLButtonDown(QPoint point);
    void RunPendingDrops();
    void DispatchDroppedPath(const std::filesystem::path& path);
    void ShowJobSummary(const std::vector<engine::JobResult>& results);
    // The template collections window, made on first use.
    TemplateBrowser& Templates();
    // Puts the submenu of the collections opened last after "テンプレート集を開く...".
    void AddRecentCollectionsMenu();
    // The look or the text shown changed: an open preview redraws.
    void ShownChanged();
    // The menu "編集": the copy-paste page shows and does the command.
    void OnArtCommand(int id);

    render::Appearance look_;
    render::PngForm pngForm_ = render::PngForm::rgb;
    ProgressWindow progressWindow_;
    FolderPage folderPage_;
    FilePage filePage_;
    CopyPastePage copyPastePage_;

    QMenuBar* menu_ = nullptr;
    QAction* indexedPngAction_ = nullptr;
    QWidget* client_ = nullptr;
    QPushButton* generateButton_ = nullptr;
    TabControl* tabControl_ = nullptr;
    ColorSwatch* backSwatch_ = nullptr;
    ColorSwatch* textSwatch_ = nullptr;
    QCheckBox* spaceCheck_ = nullptr;
    QLineEdit* marginEdit_ = nullptr;
    QComboBox* scaleBox_ = nullptr;
    QCheckBox* transparentCheck_ = nullptr;
    PreviewWindow* preview_ = nullptr;
    JobSummaryWindow* jobSummary_ = nullptr;
    TemplateBrowser* templates_ = nullptr;
    RecentFiles recentCollections_;
    // What the jobs of the command under way came to.
    std::vector<engine::JobResult> jobResults_;
    std::unique_ptr<DraftKeeper> draft_;

    std::deque<std::filesystem::path> pendingDrops_;
    // The run of the paths dropped together, while they are converted.
    std::unique_ptr<engine::ImageFolderClaims> dropClaims_;
    int commandDepth_ = 0;
    bool closeRequested_ = false;
    int closeResult_ = QDialog::Rejected;
};

}  // namespace quarvel::ui
