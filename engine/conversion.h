#pragma once
// One document converted in place: every stretch between a start separator and an
// end separator becomes a numbered PNG file in the document's image folder, and an
// image tag pointing at it takes the stretch's place.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job_settings.h"
#include "platform/failure.h"
#include "render/renderer.h"

namespace quarvel::engine {

// skipped: not a document (a PNG picture), left alone without a message.
enum class Outcome { converted, failed, aborted, skipped };

struct DocumentResult {
    std::string path;
    Outcome outcome = Outcome::failed;
    std::optional<Failure> failure;              // what failed, when the document failed (its message shown)
    DocumentCode code = DocumentCode::shiftJis;  // the code the document was read in
    int pictures = 0;                            // pictures drawn
    int kept = 0;                                // stretches that already were this program's tags

    // With ConversionSettings::collectNotes: the pictures that do not show all of
    // their art, in document order, and the character set the document declares when
    // it is not the code it was read in.
    struct PictureNotes {
        std::string path;
        render::RenderReport report;
    };
    std::vector<PictureNotes> pictureNotes;
    std::string otherCharset;
};

// The image folder of a document: its base name beside it; empty when the base name
// is no plain name of a new folder ("", "." or "..": a document named ".htm", "..htm"
// or "...htm"), which would put its pictures into a folder that is not its own.
std::string ImageFolderOf(const std::string& document);

// Converts the document at `path` in place. Nothing is made unless the document
// changes: it is read and scanned, and only at its first change are the stale
// temporary files of earlier killed runs removed, the untouched copy written to
// backup/ (with Backup::yes; an existing copy stays), the image folder made and the
// pictures written. Any failure among these leaves the document as it is, as does a
// change made to it by another program meanwhile (also while it is read); each shows
// its message through the progress interface, and the pictures written for it go
// again. On abort stops at once and leaves the document as it was.
DocumentResult ConvertDocument(const std::string& path, const ConversionSettings& settings, Backup backup = Backup::no);

}  // namespace quarvel::engine
