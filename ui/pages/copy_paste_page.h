#pragma once
// The "コピペ" page: one large box for text art, saved as one PNG picture by Generate.

#include <QFont>
#include <QWidget>

#include <filesystem>
#include <string>

#include "settings/profile.h"
#include "ui/kit/screen_font.h"
#include "ui/pages/page_host.h"

namespace quarvel::ui {

class CHTMLEdit;

class CTargetCopyPasteDlg : public QWidget {
    Q_OBJECT
public:
    CTargetCopyPasteDlg();
    ~CTargetCopyPasteDlg() override;

    // Makes the page's controls as a child of `parent` (the tab control).
    void Create(QWidget* parent);

    bool UpdateData(bool bSaveAndValidate);
    // Asks for a file name and writes the box's text art there as a PNG picture, in
    // the main window's colours, margin and space setting.
    void Generate();
    // The page keeps nothing in a settings file.
    void LoadSettings(const std::filesystem::path&) {}
    ProfileWriteResult SaveSettings(const std::filesystem::path&) { return {}; }

    CHTMLEdit* edit() const { return ctrlEdit; }

    PageHost* host = nullptr;  // the window that holds the page
    std::string strText;  // the box's text as last exchanged (code page 932, CR LF)
    CLogFont logFont;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CHTMLEdit* ctrlEdit = nullptr;
};

// The text of the box in the renderer's input form: every "<" becomes "&lt;", then
// every CR LF "<br>"; nothing else changes.
std::string PrepareTextArt(std::string text);

// The Qt font for a font description made at `pixelsPerInch`: the description's pixel
// height, drawn with the picture's face (the font file in $QUARVEL_FONT, else Mona).
QFont MakeScreenFont(CLogFont& logFont, int pixelsPerInch);

}  // namespace quarvel::ui
