#pragma once
// What screen readers are told beyond Qt's own: a tab strip whose tabs say which one
// is selected, and groups of radio buttons named by the label before them. Installed
// once by the controls that need it.

#include <QWidget>

namespace quarvel::ui {

// Makes Qt describe every QTabBar and RadioGroup of the program as below; later calls
// do nothing.
void InstallAccessibleInterfaces();

// The radio buttons that one label names ("文字コード"): a grouping for screen readers,
// named by the label, which it is the buddy of; its focus goes to its first button.
class RadioGroup : public QWidget {
    Q_OBJECT
public:
    explicit RadioGroup(QWidget* parent);
    ~RadioGroup() override;
};

}  // namespace quarvel::ui
