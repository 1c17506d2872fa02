#include "engine/job_summary.h"

#include "render/text_art.h"

namespace quarvel::engine {

int WarningCount(const render::RenderReport& report) {
    return static_cast<int>(render::ReportWarnings(report, {}).size());
}

bool WasRewritten(const DocumentResult& document) {
    // A document without a stretch to draw (or only this program's own tags) is
    // converted without a change.
    return document.outcome == Outcome::converted && document.pictures > 0;
}

void JobSummary::Add(const JobResult& result) {
    for (const DocumentResult& document : result.documents) {
        ++documents;
        if (document.outcome == Outcome::failed) {
            ++failed;
        } else if (WasRewritten(document)) {
            ++converted;
            pictures += document.pictures;
        } else {
            ++unchanged;
        }
        // The notes of a document that was read to its end, whether it changed or not.
        if (document.outcome != Outcome::converted) continue;
        if (!document.otherCharset.empty()) ++warnings;
        for (const auto& picture : document.pictureNotes) warnings += WarningCount(picture.report);
    }
    jobFailures += static_cast<int>(result.messages.size());
    aborted = aborted || result.aborted;
}

}  // namespace quarvel::engine
