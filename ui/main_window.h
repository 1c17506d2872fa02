#pragma once
// The main window: the look of the pictures (text and background colour, margin, the
// half-width space switch), the generate button, the menu, and the tab control with
// the three work pages. Files and folders dropped on it are converted one after
// another. Ctrl+PageUp and Ctrl+PageDown switch the tabs from anywhere in it.

#include <QDialog>

#include <deque>
#include <filesystem>
#include <vector>

#include "ui/kit/prompts.h"
#include "ui/progress_window.h"
#include "ui/pages/copy_paste_page.h"
#include "ui/pages/file_page.h"
#include "ui/pages/folder_page.h"
#include "ui/pages/page_host.h"
#include "platform/picture.h"

class QCheckBox;
class QLineEdit;
class QMenuBar;
class QPushButton;

namespace quarvel::ui {

class COwnerTabCtrl;

inline constexpr int IDC_GENERATE = 1005;
inline constexpr int IDC_TEXT_COLOR = 1016;
inline constexpr int IDC_BACK_COLOR = 1017;
inline constexpr int IDC_TAB = 1018;
inline constexpr int IDC_SPACE = 1028;
inline constexpr int IDC_MARGIN = 1029;

inline constexpr unsigned kMaxMargin = 100;

class CQuarvelDlg : public QDialog, public PageHost {
    Q_OBJECT
public:
    explicit CQuarvelDlg(QWidget* parent = nullptr);
    ~CQuarvelDlg() override;

    COLORREF colFore = 0x000000;
    COLORREF colBack = 0xFFFFFF;
    CProgressDlg progressDlg;
    CTargetFolderPageDlg folderPage;
    CTargetFilePageDlg filePage;
    CTargetCopyPasteDlg copyPastePage;
    bool bSpace = false;
    unsigned iMargin = 0;

    // Controls to members (true, with the margin's range check) or members to
    // controls (false). False when the margin was refused: the user has been told and
    // the focus is in the margin box.
    bool UpdateData(bool bSaveAndValidate);

    // The generate button: takes the controls, then the current tab's page Generate.
    void OnGenerate();
    // Paths dropped on the window, in drop order: a folder goes to the folder page,
    // anything else to the file page, each one's job after the one before.
    void OnDropFiles(const std::vector<std::filesystem::path>& paths);
    void OnTextColor();
    void OnBackColor();
    void OnAppAbout();
    void OnExit();
    // "設定を読み込む...": every page's settings and the look from a chosen file; the
    // window is redrawn, chosen or not.
    void OnLoadSettings();
    // "名前をつけて設定を保存...": takes the controls (a refused margin stops here), then
    // writes every page's settings and the look into a chosen file.
    void OnSaveSettingsAs();
    // The file dialogs of both commands: default extension and filters.
    static FileDialogRequest SettingsFileRequest();

    // What the pages may ask of the window.
    Appearance Look() const override;
    bool StartJob(const std::function<void(JobProgress& progress)>& body) override;
    QWidget* MessageParent() override { return this; }

    QPushButton* generateButton() const { return btnGenerate; }
    COwnerTabCtrl* tabCtrl() const { return tabControl; }
    QLineEdit* marginEdit() const { return editMargin; }
    QCheckBox* spaceCheck() const { return checkSpace; }
    QMenuBar* menuBar() const { return menu; }
    QWidget* clientArea() const { return client; }
    // A swatch's rectangle in client coordinates (control 1016 or 1017).
    QRect SwatchRect(int id) const;

    // Marks a command (the generate button's, a dropped path's or a job) as running
    // for its lifetime. While one runs, dropped paths wait and a close request waits;
    // when the last one ends, waiting paths run and a waiting close happens.
    class CommandScope {
    public:
        explicit CommandScope(CQuarvelDlg& dlg);
        ~CommandScope();
        CommandScope(const CommandScope&) = delete;
        CommandScope& operator=(const CommandScope&) = delete;

    private:
        CQuarvelDlg& dlg_;
    };
    bool IsBusy() const { return commandDepth > 0; }
    std::size_t PendingDropCount() const { return pendingDrops.size(); }

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void OnInitDialog();
    void OnCommand(int id);
    void OnSize();
    void OnPaint();
    void OnLButtonDown(QPoint point);
    void OnOK();
    bool FocusIsInPage() const;
    void RunPendingDrops();
    void DispatchDroppedPath(const std::filesystem::path& path);

    QMenuBar* menu = nullptr;
    QWidget* client = nullptr;
    QPushButton* btnGenerate = nullptr;
    COwnerTabCtrl* tabControl = nullptr;
    QWidget* swatchBack = nullptr;
    QWidget* swatchText = nullptr;
    QCheckBox* checkSpace = nullptr;
    QLineEdit* editMargin = nullptr;

    std::deque<std::filesystem::path> pendingDrops;
    int commandDepth = 0;
    bool closeRequested = false;
    int closeResult = QDialog::Rejected;
};

}  // namespace quarvel::ui
