#pragma once
// The "コピペ" page: one large box for text art, saved as one PNG picture by Generate.

#include <QWidget>

#include <filesystem>
#include <string>

#include "settings/profile.h"
#include "ui/pages/page_host.h"

namespace quarvel::ui {

class HtmlEdit;

class CopyPastePage : public QWidget {
    Q_OBJECT
public:
    CopyPastePage();
    ~CopyPastePage() override;

    // Makes the page's controls as a child of `parent` (the tab control); the page
    // asks `host` for the look and the parent of its messages.
    void Create(QWidget* parent, PageHost* host);

    // The box's text as the core reads it (code page 932, lines ending in CR LF).
    std::string Text() const;
    // Asks for a file name and writes the box's text art there as a PNG picture, in
    // the host's colours, margin and space setting and the host's form of file.
    void Generate();
    // The page keeps nothing in a settings file.
    void LoadSettings(const std::filesystem::path&) {}
    ProfileWriteResult SaveSettings(const std::filesystem::path&) { return {}; }

    HtmlEdit* edit() const { return edit_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    PageHost* host_ = nullptr;
    HtmlEdit* edit_ = nullptr;
};

}  // namespace quarvel::ui
