#pragma once
// The "フォルダ" page: the documents of a folder converted by a folder job. For now the
// page is empty and its Generate does nothing; the main window already hands it
// dropped folders.

#include <QString>

#include "app/owner_tab_page.h"

namespace quarvel::ui {

class CQuarvelDlg;

class CTargetFolderPageDlg : public COwnerTabPage {
    Q_OBJECT
public:
    CTargetFolderPageDlg();
    ~CTargetFolderPageDlg() override;

    // Makes the page's controls as a child of `parent` (the tab control).
    void Create(QWidget* parent);

    CQuarvelDlg* pOwner = nullptr;
    QString strTargetFolder;  // the folder to convert
};

}  // namespace quarvel::ui
