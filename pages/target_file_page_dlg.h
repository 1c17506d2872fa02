#pragma once
// The "ファイル" page: one HTML document converted by a file job. For now the page is
// empty and its Generate does nothing; the main window already hands it dropped files.

#include <QString>

#include "app/owner_tab_page.h"

namespace quarvel::ui {

class CQuarvelDlg;

class CTargetFilePageDlg : public COwnerTabPage {
    Q_OBJECT
public:
    CTargetFilePageDlg();
    ~CTargetFilePageDlg() override;

    // Makes the page's controls as a child of `parent` (the tab control).
    void Create(QWidget* parent);

    CQuarvelDlg* pOwner = nullptr;
    QString strTargetFile;  // path of the document
};

}  // namespace quarvel::ui
