#include "ui/pages/common_settings_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include "ui/kit/dialog_template.h"
#include "ui/kit/resources.h"
#include "ui/kit/text_codec.h"

namespace quarvel::ui {

CCommonSettingDlg::CCommonSettingDlg() = default;
CCommonSettingDlg::~CCommonSettingDlg() = default;

void CCommonSettingDlg::Create(QWidget* page) {
    setParent(page);
    if (const auto dlg = LoadDialogTemplate(IDD_COMMON_SETTING)) {
        CreateControls(*dlg, this);
        resize(DialogUnits(font()).Map(dlg->size));
    }
    const auto edit = [this](int id) { return qobject_cast<QLineEdit*>(GetDlgItem(this, id)); };
    editStart[0] = edit(IDC_SEPALATER_START1);
    editStart[1] = edit(IDC_SEPALATER_START2);
    editStart[2] = edit(IDC_SEPALATER_START3);
    editEnd[0] = edit(IDC_SEPALATER_END1);
    editEnd[1] = edit(IDC_SEPALATER_END2);
    editEnd[2] = edit(IDC_SEPALATER_END3);
    radioSjis = qobject_cast<QRadioButton*>(GetDlgItem(this, IDC_CODE_SJIS));
    radioEuc = qobject_cast<QRadioButton*>(GetDlgItem(this, IDC_CODE_EUC));
    checkBackup = qobject_cast<QCheckBox*>(GetDlgItem(this, IDC_BACKUP));
    Q_ASSERT(editStart[2] && editEnd[2] && radioSjis && radioEuc && checkBackup);
    OnInitDialog();
    show();
}

void CCommonSettingDlg::OnInitDialog() {
    SetRecord(CommonSettings{});
    UpdateData(false);
}

bool CCommonSettingDlg::UpdateData(bool bSaveAndValidate) {
    std::string* const starts[] = {&strSepalaterStart1, &strSepalaterStart2, &strSepalaterStart3};
    std::string* const ends[] = {&strSepalaterEnd1, &strSepalaterEnd2, &strSepalaterEnd3};
    if (bSaveAndValidate) {
        for (int i = 0; i < 3; ++i) {
            *starts[i] = ToCp932(editStart[i]->text());
            *ends[i] = ToCp932(editEnd[i]->text());
        }
        iCode = radioSjis->isChecked() ? 0 : radioEuc->isChecked() ? 1 : -1;
        bBackup = checkBackup->isChecked();
        return true;
    }
    for (int i = 0; i < 3; ++i) {
        editStart[i]->setText(FromCp932(*starts[i]));
        editEnd[i]->setText(FromCp932(*ends[i]));
    }
    if (iCode == 0 || iCode == 1) {
        (iCode == 0 ? radioSjis : radioEuc)->setChecked(true);
    } else {
        // A code read from a file that is neither: no button is shown as chosen.
        QButtonGroup* group = radioSjis->group();
        if (group) group->setExclusive(false);
        radioSjis->setChecked(false);
        radioEuc->setChecked(false);
        if (group) group->setExclusive(true);
    }
    checkBackup->setChecked(bBackup);
    return true;
}

CommonSettings CCommonSettingDlg::Record() const {
    return {strSepalaterStart1, strSepalaterStart2, strSepalaterStart3, strSepalaterEnd1,
            strSepalaterEnd2,   strSepalaterEnd3,   bBackup,            iCode};
}

void CCommonSettingDlg::SetRecord(const CommonSettings& record) {
    strSepalaterStart1 = record.strSepalaterStart1;
    strSepalaterStart2 = record.strSepalaterStart2;
    strSepalaterStart3 = record.strSepalaterStart3;
    strSepalaterEnd1 = record.strSepalaterEnd1;
    strSepalaterEnd2 = record.strSepalaterEnd2;
    strSepalaterEnd3 = record.strSepalaterEnd3;
    bBackup = record.bBackup;
    iCode = record.iCode;
}

void CCommonSettingDlg::LoadSettings(const std::filesystem::path& path, std::string_view section) {
    CommonSettings record = Record();
    LoadCommonSettings(path, section, record);
    SetRecord(record);
    UpdateData(false);
}

ProfileWriteResult CCommonSettingDlg::SaveSettings(const std::filesystem::path& path,
                                                   std::string_view section) {
    UpdateData(true);
    return SaveCommonSettings(path, section, Record());
}

std::vector<std::string> MakeSeparatorList(const std::string& first, const std::string& second,
                                           const std::string& third) {
    return {SeparatorWithLineBreaks(first), SeparatorWithLineBreaks(second), SeparatorWithLineBreaks(third)};
}

ConversionSettings MakeJobSettings(const CCommonSettingDlg& common, const Appearance& look, JobProgress* progress) {
    ConversionSettings settings;
    settings.startSeparators =
        MakeSeparatorList(common.strSepalaterStart1, common.strSepalaterStart2, common.strSepalaterStart3);
    settings.endSeparators =
        MakeSeparatorList(common.strSepalaterEnd1, common.strSepalaterEnd2, common.strSepalaterEnd3);
    settings.iCode = common.iCode;
    settings.progress = progress;
    settings.colFore = look.colFore;
    settings.colBack = look.colBack;
    settings.iMargin = look.iMargin;
    settings.bSpace = look.bSpace;
    return settings;
}

}  // namespace quarvel::ui
