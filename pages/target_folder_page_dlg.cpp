#include "pages/target_folder_page_dlg.h"

namespace quarvel::ui {

CTargetFolderPageDlg::CTargetFolderPageDlg() = default;
CTargetFolderPageDlg::~CTargetFolderPageDlg() = default;

void CTargetFolderPageDlg::Create(QWidget* parent) { setParent(parent); }

}  // namespace quarvel::ui
