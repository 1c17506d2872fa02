#pragma once
// The settings a file job and a folder job share: the documents' character code, three
// start and three end separators, and the backup switch. The file page and the folder
// page each hold one, so the two modes keep separate settings.
//
// A plain child widget of its page: the page's key handling covers its boxes, and no
// key can hide it.

#include <QWidget>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion.h"
#include "render/renderer.h"
#include "settings/settings_file.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace quarvel::ui {

inline constexpr int IDC_SEPALATER_START1 = 1002;
inline constexpr int IDC_SEPALATER_START2 = 1003;
inline constexpr int IDC_SEPALATER_START3 = 1004;
inline constexpr int IDC_SEPALATER_END1 = 1006;
inline constexpr int IDC_SEPALATER_END2 = 1007;
inline constexpr int IDC_SEPALATER_END3 = 1008;
inline constexpr int IDC_CODE_SJIS = 1013;
inline constexpr int IDC_CODE_EUC = 1014;
inline constexpr int IDC_BACKUP = 1015;

class CCommonSettingDlg : public QWidget {
    Q_OBJECT
public:
    CCommonSettingDlg();
    ~CCommonSettingDlg() override;

    // Makes the controls (template 133) as a child of `page`, sets the defaults and
    // shows them.
    void Create(QWidget* page);

    // Controls to members (true) or members to controls (false); never fails.
    bool UpdateData(bool bSaveAndValidate);

    // Reads the eight keys of `section`; keys missing or empty keep their values. Then
    // the members go into the controls.
    void LoadSettings(const std::filesystem::path& path, std::string_view section);
    // Takes the controls, then writes the eight keys into `section`.
    ProfileWriteResult SaveSettings(const std::filesystem::path& path, std::string_view section);

    // The members as a settings record, and back.
    CommonSettings Record() const;
    void SetRecord(const CommonSettings& record);

    // Separators in code page 932, as typed: "\n" stands for a line break.
    std::string strSepalaterStart1;
    std::string strSepalaterStart2;
    std::string strSepalaterStart3;
    std::string strSepalaterEnd1;
    std::string strSepalaterEnd2;
    std::string strSepalaterEnd3;
    int iCode = -1;  // 0 Shift-JIS, 1 EUC, -1 neither button chosen
    bool bBackup = false;

private:
    void OnInitDialog();

    QLineEdit* editStart[3] = {};
    QLineEdit* editEnd[3] = {};
    QRadioButton* radioSjis = nullptr;
    QRadioButton* radioEuc = nullptr;
    QCheckBox* checkBackup = nullptr;
};

// A separator list for the engine: the three separators (code page 932, as typed) in
// order, empty ones kept, each backslash-n pair made a line break (CR LF) by
// SeparatorWithLineBreaks.
std::vector<std::string> MakeSeparatorList(const std::string& first, const std::string& second,
                                           const std::string& third);

// A job's settings as they stand now: the separator lists and the code of `common`
// (its members, as last taken from its controls), the look `look`, reporting to
// `progress`.
ConversionSettings MakeJobSettings(const CCommonSettingDlg& common, const Appearance& look, JobProgress* progress);

}  // namespace quarvel::ui
