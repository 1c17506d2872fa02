#pragma once
// The window's words for what a picture does not show of its art, one text for each
// thing it leaves out, as the command line counts them (render::ReportWarnings): the
// preview's status line and the summary of a job say them alike.

#include <QStringList>

#include "render/renderer.h"

namespace quarvel::ui {

QStringList PictureWarnings(const render::RenderReport& report);

}  // namespace quarvel::ui
