#pragma once
// The "ファイル" page: one HTML document, converted in place by a file job, with the
// file mode's own common settings above it.

#include <QString>

#include <filesystem>

#include "settings/profile.h"
#include "ui/kit/tab_page.h"
#include "ui/pages/common_settings_page.h"
#include "ui/pages/page_host.h"

class QLineEdit;
class QPushButton;

namespace quarvel::ui {

class FilePage : public TabPage {
    Q_OBJECT
public:
    FilePage();
    ~FilePage() override;

    // Makes the page's controls (template 130) and its common settings as a child of
    // `parent` (the tab control); the page asks `host` for the look and its jobs.
    void Create(QWidget* parent, PageHost* host);

    // The document's path as last taken from the box.
    const QString& targetFile() const { return targetFile_; }
    // Puts a path in the box (a dropped file).
    void SetTargetFile(const QString& path);

    // Converts the document named in the box with the page's settings and the host's
    // look; returns when the job has ended. An empty path is refused before any job
    // starts.
    void Generate();
    // Section TargetFilePage, common settings only; the path is never stored.
    void LoadSettings(const std::filesystem::path& path);
    Result<void> SaveSettings(const std::filesystem::path& path);

    // Puts the document named in the box back from its newest copy in backup/, once
    // the user has agreed, and says what became of it.
    void Restore();

    // "参照...": an open dialog listing every file.
    void OnBrowse();

    QLineEdit* targetEdit() const { return targetEdit_; }
    QPushButton* browseButton() const { return browseButton_; }
    CommonSettingsPage& commonSettings() { return commonSettings_; }

private:
    PageHost* host_ = nullptr;
    CommonSettingsPage commonSettings_;
    QString targetFile_;
    QLineEdit* targetEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
};

}  // namespace quarvel::ui
