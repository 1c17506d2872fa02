#pragma once
// The program's resources: the string table, menus and the icon (res/).

#include <QIcon>
#include <QString>

class QMenuBar;
class QWidget;

namespace quarvel::ui {

inline constexpr int IDS_VERSION = 102;
inline constexpr int IDS_TITLE = 103;

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_QUARVEL_DIALOG = 102;
inline constexpr int IDD_TARGET_FOLDER_PAGE = 129;
inline constexpr int IDD_TARGET_FILE_PAGE = 130;
inline constexpr int IDD_TARGET_COPYPASTE = 132;
inline constexpr int IDD_COMMON_SETTING = 133;
inline constexpr int IDD_PROGRESS = 217;

// Controls of the file and the folder page: the path box and its browse button.
inline constexpr int IDC_TARGET_PATH = 1000;
inline constexpr int IDC_BROWSE = 1001;

// Menu commands.
inline constexpr int ID_EXIT = 8;
inline constexpr int ID_SAVE_SETTINGS_AS = 32771;
inline constexpr int ID_LOAD_SETTINGS = 32772;
inline constexpr int ID_APP_ABOUT = 32773;
inline constexpr int ID_INDEXED_PNG = 32774;
inline constexpr int ID_PREVIEW = 32775;
inline constexpr int ID_OPEN_COLLECTION = 32776;
inline constexpr int ID_RESTORE_DOCUMENT = 32777;
inline constexpr int ID_FILL_TO = 32778;
inline constexpr int ID_ALIGN_RIGHT_EDGES = 32779;
inline constexpr int ID_TOGGLE_GUIDE = 32780;
inline constexpr int ID_CLEAR_GUIDES = 32781;

// A text of the resources in the language of the translations installed: the
// resources' texts are the source texts of the window's translations, in `context`
// ("Dialogs", "Menus", "Strings"); scripts/update-ts.py hands them to lupdate.
QString TranslatedResourceText(const char* context, const QString& text);

// String `id` of the string table, translated (context "Strings"); empty when it has
// none.
QString LoadResString(int id);

// "Quarvel  ver.β_040411": strings 103 and 102 with two blanks between them.
QString VersionLine();

// Fills `bar` with menu `id`, its texts translated (context "Menus"); each item's
// action carries its command number as data and is named "cmd<number>"; an item
// marked "checkable" gets a check mark, and an item's "shortcut" is its key sequence.
void LoadMenu(QMenuBar* bar, int id);

// The application icon (resource 128), at every size the build draws from
// res/quarvel.svg.
QIcon AppIcon();

}  // namespace quarvel::ui
