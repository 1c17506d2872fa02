#include "engine/job_summary.h"

namespace quarvel::engine {

int WarningCount(const render::RenderReport& report) {
    // One for each sentence render::ReportWarnings makes of the report; counted here,
    // so that the window needs none of the command line's words.
    return int{report.linesCut} + int{report.widthCut} + int{report.undecodable > 0} + int{!report.faceless.empty()};
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
            if (document.failure && document.failure->Is(Failure::What::locked)) locked.push_back(document.path);
        } else if (document.outcome == Outcome::restored) {
            ++restored;
        } else if (WasRewritten(document)) {
            ++converted;
            pictures += document.pictures;
        } else {
            ++unchanged;
        }
        warnings += static_cast<int>(document.warnings.size());
        // The notes of a document that was read to its end, whether it changed or not.
        if (document.outcome != Outcome::converted) continue;
        if (!document.otherCharset.empty()) ++warnings;
        for (const auto& picture : document.pictureNotes) warnings += WarningCount(picture.report);
    }
    jobFailures += static_cast<int>(result.messages.size());
    aborted = aborted || result.aborted;
}

}  // namespace quarvel::engine
