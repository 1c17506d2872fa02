#include "ui/pages/common_settings_page.h"

#include <QButtonGroup>
#include <QCoreApplication>
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

namespace {

// The code of each button, in the order of codeRadios_.
constexpr std::array kCodes{DocumentCode::shiftJis, DocumentCode::eucJp, DocumentCode::utf8, DocumentCode::automatic};

}  // namespace

CommonSettingsPage::CommonSettingsPage() = default;
CommonSettingsPage::~CommonSettingsPage() = default;

void CommonSettingsPage::Create(QWidget* page) {
    setParent(page);
    CreatePageControls(IDD_COMMON_SETTING, this);
    const auto edit = [this](int id) { return qobject_cast<QLineEdit*>(GetDlgItem(this, id)); };
    startEdits_ = {edit(IDC_SEPARATOR_START1), edit(IDC_SEPARATOR_START2), edit(IDC_SEPARATOR_START3)};
    endEdits_ = {edit(IDC_SEPARATOR_END1), edit(IDC_SEPARATOR_END2), edit(IDC_SEPARATOR_END3)};
    const auto radio = [this](int id) { return qobject_cast<QRadioButton*>(GetDlgItem(this, id)); };
    codeRadios_ = {radio(IDC_CODE_SJIS), radio(IDC_CODE_EUC), radio(IDC_CODE_UTF8), radio(IDC_CODE_AUTO)};
    backupCheck_ = qobject_cast<QCheckBox*>(GetDlgItem(this, IDC_BACKUP));
    lineBreaksCheck_ = qobject_cast<QCheckBox*>(GetDlgItem(this, IDC_LINE_BREAKS));
    Q_ASSERT(startEdits_[2] && endEdits_[2] && codeRadios_[3] && backupCheck_ && lineBreaksCheck_);
    // Its name without the access letter, as screen readers say it.
    lineBreaksCheck_->setAccessibleName(QCoreApplication::translate("CommonSettingsPage", "改行で行を分ける"));
    lineBreaksCheck_->setToolTip(QCoreApplication::translate(
        "CommonSettingsPage",
        "行末で行を分けたアート（pre 要素の中など）を、行末（CR LF、LF、CR）ごとに改行して描きます。"
        "開始の区切りのすぐ後と終了の区切りのすぐ前の行末は行になりません"));
    // The boxes' help: what a typed \n matches.
    const QString lineBreak =
        QCoreApplication::translate("CommonSettingsPage", "\\n は改行で、CR LF にも LF だけの行末にも合います");
    for (std::size_t i = 0; i < 3; ++i) {
        startEdits_[i]->setToolTip(lineBreak);
        endEdits_[i]->setToolTip(lineBreak);
    }
    settings_ = CommonSettings{};
    // New settings read each document in the code its bytes tell, as the command line
    // does; a settings file still gives its own.
    settings_.code = DocumentCode::automatic;
    WriteControls();
    show();
}

void CommonSettingsPage::ReadControls() {
    for (std::size_t i = 0; i < 3; ++i) {
        settings_.startSeparators[i] = ToCp932(startEdits_[i]->text());
        settings_.endSeparators[i] = ToCp932(endEdits_[i]->text());
    }
    settings_.code = DocumentCode::none;
    for (std::size_t i = 0; i < kCodes.size(); ++i)
        if (codeRadios_[i]->isChecked()) settings_.code = kCodes[i];
    settings_.backup = backupCheck_->isChecked();
    settings_.lineBreaks = lineBreaksCheck_->isChecked();
}

void CommonSettingsPage::WriteControls() {
    for (std::size_t i = 0; i < 3; ++i) {
        startEdits_[i]->setText(FromCp932(settings_.startSeparators[i]));
        endEdits_[i]->setText(FromCp932(settings_.endSeparators[i]));
    }
    // A code read from a file that is none of these: no button is shown as chosen.
    QButtonGroup* group = codeRadios_[0]->group();
    if (group) group->setExclusive(false);
    for (std::size_t i = 0; i < kCodes.size(); ++i) codeRadios_[i]->setChecked(settings_.code == kCodes[i]);
    if (group) group->setExclusive(true);
    backupCheck_->setChecked(settings_.backup);
    lineBreaksCheck_->setChecked(settings_.lineBreaks);
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
