#pragma once
// What a work page may ask of the window that holds it: the look of the pictures and
// the form of their files, a job run while the window stays live, and the window over
// which messages show.
// The main window implements it; the pages know nothing else of it.

#include <functional>
#include <optional>

#include "engine/progress.h"
#include "render/png_writer.h"
#include "render/renderer.h"

class QWidget;

namespace quarvel::engine {
class ImageFolderClaims;
struct JobResult;
}  // namespace quarvel::engine

namespace quarvel::ui {

class PageHost {
public:
    virtual ~PageHost() = default;

    // The look as the window holds it (as last taken from its controls).
    virtual render::Appearance Look() const = 0;
    // The look as the window's controls show it now, without a word to the user: a
    // margin that would be refused leaves the last good one.
    virtual render::Appearance ShownLook() const = 0;
    // Takes the look from the controls as the generate button does; nullopt when the
    // margin was refused (the user has been told).
    virtual std::optional<render::Appearance> TakeLook() = 0;
    // The form of the picture files, for every page.
    virtual render::PngForm PictureForm() const = 0;

    // Runs `body` on a worker thread, handing it the progress interface the job
    // reports to, and returns when the job has ended; false when no job could be
    // started (the user has been told) or another job runs. What the job came to is
    // the window's to sum up for the user.
    virtual bool StartJob(const std::function<engine::JobResult(engine::JobProgress& progress)>& body) = 0;

    // The window over which a page's messages show.
    virtual QWidget* MessageParent() = 0;

    // The image folders taken by the documents of the run under way, when one command
    // starts several jobs (paths dropped together); null when a job is a run of its own.
    virtual engine::ImageFolderClaims* RunClaims() = 0;
};

}  // namespace quarvel::ui
