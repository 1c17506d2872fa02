#pragma once
// Base of the work pages that live in a COwnerTabCtrl (the file and the folder page).
//
// A page is a plain child widget, never a dialog of its own: Enter and Esc typed
// anywhere on it only move the focus to the tab strip, so no key can end or hide a
// page. Ctrl+PageUp and Ctrl+PageDown switch tabs from anywhere on the page.

#include <QWidget>

#include <filesystem>

#include "settings/profile.h"

namespace quarvel::ui {

class COwnerTabPage : public QWidget {
    Q_OBJECT
public:
    explicit COwnerTabPage(QWidget* parent = nullptr);
    ~COwnerTabPage() override;

    // Controls to members (true) or members to controls (false); false when a value
    // was refused.
    virtual bool UpdateData(bool bSaveAndValidate);
    // The page's command for the generate button and for dropped paths.
    virtual void Generate();
    // The page's keys in a settings file: read into the members and shown, or taken
    // from the controls and written.
    virtual void LoadSettings(const std::filesystem::path& path);
    virtual quarvel::ProfileWriteResult SaveSettings(const std::filesystem::path& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The key handling applies to key presses addressed to the page or any control
    // on it; one filter on the application sees them before the control does.
    bool PreTranslateKey(QKeyEvent* key);
};

}  // namespace quarvel::ui
