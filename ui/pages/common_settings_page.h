#pragma once
// The settings a file job and a folder job share: the documents' character code, three
// start and three end separators, the backup switch and whether line ends inside a
// stretch break its lines. The file page and the folder
// page each hold one, so the two modes keep separate settings.
//
// A plain child widget of its page: the page's key handling covers its boxes, and no
// key can hide it.

#include <QWidget>

#include <array>
#include <filesystem>
#include <string_view>

#include "settings/settings_file.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace quarvel::ui {

inline constexpr int IDC_SEPARATOR_START1 = 1002;
inline constexpr int IDC_SEPARATOR_START2 = 1003;
inline constexpr int IDC_SEPARATOR_START3 = 1004;
inline constexpr int IDC_SEPARATOR_END1 = 1006;
inline constexpr int IDC_SEPARATOR_END2 = 1007;
inline constexpr int IDC_SEPARATOR_END3 = 1008;
inline constexpr int IDC_CODE_SJIS = 1013;
inline constexpr int IDC_CODE_EUC = 1014;
inline constexpr int IDC_BACKUP = 1015;
inline constexpr int IDC_CODE_UTF8 = 1040;
inline constexpr int IDC_CODE_AUTO = 1041;
inline constexpr int IDC_LINE_BREAKS = 1050;

class CommonSettingsPage : public QWidget {
    Q_OBJECT
public:
    CommonSettingsPage();
    ~CommonSettingsPage() override;

    // Makes the controls (template 133) as a child of `page`, sets the defaults and
    // shows them.
    void Create(QWidget* page);

    // The settings as last taken from the controls (or loaded); the code is `none`
    // when neither button was chosen.
    const settings::CommonSettings& settings() const { return settings_; }
    void SetSettings(const settings::CommonSettings& settings) { settings_ = settings; }

    // Takes the controls into settings(); never fails.
    void ReadControls();
    // Shows settings() in the controls.
    void WriteControls();

    // Reads the page's keys of `section`; keys missing or empty keep their values. Then
    // the settings go into the controls.
    void LoadSettings(const std::filesystem::path& path, std::string_view section);
    // Takes the controls, then writes the page's keys into `section`.
    Result<void> SaveSettings(const std::filesystem::path& path, std::string_view section);

private:
    settings::CommonSettings settings_;
    std::array<QLineEdit*, 3> startEdits_{};
    std::array<QLineEdit*, 3> endEdits_{};
    // Shift-JIS, EUC-JP, UTF-8 and the code each document's bytes tell, in this order.
    std::array<QRadioButton*, 4> codeRadios_{};
    QCheckBox* backupCheck_ = nullptr;
    QCheckBox* lineBreaksCheck_ = nullptr;
};

}  // namespace quarvel::ui
