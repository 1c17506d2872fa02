#pragma once
// One document converted in place: every stretch between a start separator and an
// end separator becomes a numbered PNG file in the document's image folder, and an
// image tag pointing at it takes the stretch's place.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/messages.h"
#include "engine/progress.h"
#include "platform/fs.h"
#include "render/appearance.h"
#include "render/png_writer.h"
#include "render/renderer.h"

namespace quarvel {

// The character code of the documents. A settings file may hold any other number
// (kept as it is, and read as Shift-JIS); `none` is what the window's pages hold when
// neither of their buttons is chosen.
enum class DocumentCode : int { none = -1, shiftJis = 0, eucJp = 1 };

// Whether a document's untouched copy goes to the folder "backup" beside it before it
// is first changed.
enum class Backup { no, yes };

inline constexpr std::string_view kBackupFolderName = "backup";

class ImageFolderClaims;

// Three separators of a kind, code page 932; empty entries are skipped.
using Separators = std::array<std::string, 3>;

// A job's settings. The starter fills it before the worker starts; the engine only reads it.
struct ConversionSettings {
    Separators startSeparators;  // line breaks already CR LF
    Separators endSeparators;
    DocumentCode code = DocumentCode::shiftJis;
    JobProgress* progress = nullptr;  // never null while a job runs
    Appearance look;
    PngForm pngForm = PngForm::rgb;        // the form of the picture files
    fs::FileSystem* fileSystem = nullptr;  // null: the real file system
    // Whether DocumentResult tells what the pictures do not show and what character
    // set the document declares (a second look at each character drawn).
    bool collectNotes = false;
    // How many pictures are drawn and encoded at once (threads); 1 draws them one
    // after another on the job's own thread. The results are the same either way.
    int workers = 1;
    // Called on the worker as each picture is drawn: lets tests watch the workers.
    std::function<void()> pictureDrawn;
    // The image folders taken by the documents of the run so far, shared by the jobs of
    // one run; null: each job keeps its own (see ImageFolderClaims, engine/jobs.h).
    ImageFolderClaims* claims = nullptr;
};

// The number of cores of the machine: a job's workers when all of them are to work.
int AllCores();

// skipped: not a document (a PNG picture), left alone without a message.
enum class Outcome { converted, failed, aborted, skipped };

struct DocumentResult {
    std::string path;
    Outcome outcome = Outcome::failed;
    std::optional<Failure> failure;  // what failed, when the document failed (its message shown)
    int pictures = 0;                // pictures drawn
    int kept = 0;                    // stretches that already were this program's tags

    // With ConversionSettings::collectNotes: the pictures that do not show all of
    // their art, in document order, and the character set the document declares when
    // it is not the code it was read in.
    struct PictureNotes {
        std::string path;
        RenderReport report;
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

}  // namespace quarvel
