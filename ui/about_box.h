#pragma once
// The about box: icon, version line and the OK button.

#include <QDialog>

namespace quarvel::ui {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    QString strVersion;
};

}  // namespace quarvel::ui
