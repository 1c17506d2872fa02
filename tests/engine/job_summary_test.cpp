// What a job came to, counted as both fronts end a job: each document in one of three
// counts, the pictures of those rewritten, and as many warnings as the command line
// prints.

#include <gtest/gtest.h>

#include "engine/job_summary.h"
#include "render/text_art.h"

namespace quarvel::engine {

namespace {

using render::RenderReport;

DocumentResult Document(Outcome outcome, int pictures, std::vector<RenderReport> notes = {}, std::string charset = {}) {
    DocumentResult document;
    document.outcome = outcome;
    document.pictures = pictures;
    for (RenderReport& report : notes) document.pictureNotes.push_back({"p.png", std::move(report)});
    document.otherCharset = std::move(charset);
    return document;
}

}  // namespace

TEST(JobSummary, EveryWarningTheCommandLinePrintsIsCounted) {
    const RenderReport reports[] = {
        {},
        {.linesCut = true},
        {.widthCut = true},
        {.missingGlyphs = true, .faceless = {0xE000, 0xE001}},
        {.missingGlyphs = true, .undecodable = 3},
        {.linesCut = true, .widthCut = true, .missingGlyphs = true, .faceless = {0xE000}, .undecodable = 1},
    };
    for (const RenderReport& report : reports)
        EXPECT_EQ(static_cast<std::size_t>(WarningCount(report)), render::ReportWarnings(report, "--code").size());
}

TEST(JobSummary, EachDocumentInOneCount) {
    const struct {
        const char* what;
        DocumentResult document;
        int converted, unchanged, failed, pictures, warnings;
    } cases[] = {
        {"rewritten", Document(Outcome::converted, 3), 1, 0, 0, 3, 0},
        {"nothing to draw", Document(Outcome::converted, 0), 0, 1, 0, 0, 0},
        {"declaring another charset, nothing drawn", Document(Outcome::converted, 0, {}, "UTF-8"), 0, 1, 0, 0, 1},
        {"with notes", Document(Outcome::converted, 2, {{.linesCut = true, .widthCut = true}, {}}, "EUC-JP"), 1, 0, 0,
         2, 3},
        {"stopped", Document(Outcome::aborted, 1, {{.linesCut = true}}), 0, 1, 0, 0, 0},
        {"a picture", Document(Outcome::skipped, 0), 0, 1, 0, 0, 0},
        {"failed", Document(Outcome::failed, 2, {{.linesCut = true}}), 0, 0, 1, 0, 0},
    };
    JobSummary all;
    for (const auto& c : cases) {
        JobResult result;
        result.documents.push_back(c.document);
        JobSummary one;
        one.Add(result);
        EXPECT_EQ(one.documents, 1) << c.what;
        EXPECT_EQ(one.converted, c.converted) << c.what;
        EXPECT_EQ(one.unchanged, c.unchanged) << c.what;
        EXPECT_EQ(one.failed, c.failed) << c.what;
        EXPECT_EQ(one.pictures, c.pictures) << c.what;
        EXPECT_EQ(one.warnings, c.warnings) << c.what;
        all.Add(result);
    }
    JobResult folderGone;
    folderGone.messages.push_back(Failure{Failure::What::folderNotFound, "/x"});
    folderGone.aborted = true;
    all.Add(folderGone);
    EXPECT_EQ(all.documents, 7);
    EXPECT_EQ(all.converted + all.unchanged + all.failed, all.documents);
    EXPECT_EQ(all.pictures, 5);
    EXPECT_EQ(all.warnings, 4);
    EXPECT_EQ(all.jobFailures, 1);
    EXPECT_TRUE(all.aborted);
}

}  // namespace quarvel::engine
