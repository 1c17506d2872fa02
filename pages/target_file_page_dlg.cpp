#include "pages/target_file_page_dlg.h"

namespace quarvel::ui {

CTargetFilePageDlg::CTargetFilePageDlg() = default;
CTargetFilePageDlg::~CTargetFilePageDlg() = default;

void CTargetFilePageDlg::Create(QWidget* parent) { setParent(parent); }

}  // namespace quarvel::ui
