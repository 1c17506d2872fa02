#pragma once
// What a picture does not show of its art, one text for each thing it leaves out, in
// the command line's words (render::ReportWarnings): the preview's status line and the
// summary of a job say them alike; and what the user can do about a failure, where the
// window knows (FailureAdvice).

#include <QStringList>

#include "platform/failure.h"
#include "render/renderer.h"

namespace quarvel::ui {

QStringList PictureWarnings(const render::RenderReport& report);

// For a document left as it was because it is not in the code chosen: the code that
// fits it and how to choose it ("「文字コード」で「UTF-8」か「自動」を選んで..."); empty for
// any other failure.
QString FailureAdvice(const Failure& failure);

}  // namespace quarvel::ui
