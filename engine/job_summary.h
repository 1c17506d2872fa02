#pragma once
// What file and folder jobs came to, counted once for both fronts: the window's
// summary and the command line's closing line say the same numbers.

#include <string>
#include <vector>

#include "engine/jobs.h"
#include "render/renderer.h"

namespace quarvel::engine {

struct JobSummary {
    int documents = 0;    // documents worked on
    int converted = 0;    // rewritten: their pictures written and tags in place
    int restored = 0;     // put back from a copy in backup/
    int unchanged = 0;    // left as they were: nothing to draw or put back, stopped, or not a document
    int failed = 0;       // failed, each with its message
    int jobFailures = 0;  // failures outside any document (a folder not found, not readable)
    int pictures = 0;     // pictures of the documents converted
    int warnings = 0;     // what their pictures do not show, other declared character sets, and the rest
    bool aborted = false;
    std::vector<std::string> locked;  // documents passed by: another process held them locked

    // Counts in the documents of one more job of the run.
    void Add(const JobResult& result);
};

// How many warnings a picture's report makes: one for each thing it leaves out, as many
// as render::ReportWarnings words.
int WarningCount(const render::RenderReport& report);

// Whether a document counts as converted: it was rewritten with its pictures.
bool WasRewritten(const DocumentResult& document);

}  // namespace quarvel::engine
