#include "ui/pages/common_settings_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include "ui/kit/dialog_template.h"
#include "ui/kit/resources.h"
#include "ui/kit/text_codec.h"

namespace quarvel::ui {

using settings::CommonSettings;
using settings::LoadCommonSettings;
using settings::SaveCommonSettings;

using engine::DocumentCode;

CommonSettingsPage::CommonSettingsPage() = default;
CommonSettingsPage::~CommonSettingsPage() = default;

void CommonSettingsPage::Create(QWidget* page) {
    setParent(page);
    CreatePageControls(IDD_COMMON_SETTING, this);
    const auto edit = [this](int id) { return qobject_cast<QLineEdit*>(GetDlgItem(this, id)); };
    startEdits_ = {edit(IDC_SEPARATOR_START1), edit(IDC_SEPARATOR_START2), edit(IDC_SEPARATOR_START3)};
    endEdits_ = {edit(IDC_SEPARATOR_END1), edit(IDC_SEPARATOR_END2), edit(IDC_SEPARATOR_END3)};
    shiftJisRadio_ = qobject_cast<QRadioButton*>(GetDlgItem(this, IDC_CODE_SJIS));
    eucRadio_ = qobject_cast<QRadioButton*>(GetDlgItem(this, IDC_CODE_EUC));
    backupCheck_ = qobject_cast<QCheckBox*>(GetDlgItem(this, IDC_BACKUP));
    Q_ASSERT(startEdits_[2] && endEdits_[2] && shiftJisRadio_ && eucRadio_ && backupCheck_);
    settings_ = CommonSettings{};
    WriteControls();
    show();
}

void CommonSettingsPage::ReadControls() {
    for (std::size_t i = 0; i < 3; ++i) {
        settings_.startSeparators[i] = ToCp932(startEdits_[i]->text());
        settings_.endSeparators[i] = ToCp932(endEdits_[i]->text());
    }
    settings_.code = shiftJisRadio_->isChecked() ? DocumentCode::shiftJis
                     : eucRadio_->isChecked()    ? DocumentCode::eucJp
                                                 : DocumentCode::none;
    settings_.backup = backupCheck_->isChecked();
}

void CommonSettingsPage::WriteControls() {
    for (std::size_t i = 0; i < 3; ++i) {
        startEdits_[i]->setText(FromCp932(settings_.startSeparators[i]));
        endEdits_[i]->setText(FromCp932(settings_.endSeparators[i]));
    }
    if (settings_.code == DocumentCode::shiftJis || settings_.code == DocumentCode::eucJp) {
        (settings_.code == DocumentCode::shiftJis ? shiftJisRadio_ : eucRadio_)->setChecked(true);
    } else {
        // A code read from a file that is neither: no button is shown as chosen.
        QButtonGroup* group = shiftJisRadio_->group();
        if (group) group->setExclusive(false);
        shiftJisRadio_->setChecked(false);
        eucRadio_->setChecked(false);
        if (group) group->setExclusive(true);
    }
    backupCheck_->setChecked(settings_.backup);
}

void CommonSettingsPage::LoadSettings(const std::filesystem::path& path, std::string_view section) {
    // A file that cannot be read changes nothing; the main window, which loads it
    // too, says why.
    static_cast<void>(LoadCommonSettings(path, section, settings_));
    WriteControls();
}

Result<void> CommonSettingsPage::SaveSettings(const std::filesystem::path& path, std::string_view section) {
    ReadControls();
    return SaveCommonSettings(path, section, settings_);
}

}  // namespace quarvel::ui
