#pragma once
// The about box: icon, version line and the OK button.

#include <QDialog>

namespace quarvel::ui {

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
    ~AboutBox() override;
};

}  // namespace quarvel::ui
