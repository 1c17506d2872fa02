#pragma once
// What a job is asked to do: the settings a file or folder job hands to the engine,
// filled by the window's pages and by quarvel-cli (through settings/engine_settings.h)
// before the worker starts, and only read by the engine. Light on purpose: naming
// them needs neither the file system nor the renderer.

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "engine/progress.h"
#include "render/appearance.h"
#include "render/png_writer.h"

namespace quarvel::platform::fs {
class FileSystem;
}

namespace quarvel::engine {

class ImageFolderClaims;

// The character code of the documents. A settings file may hold any other number
// (kept as it is, and read as Shift-JIS); `none` is what the window's pages hold when
// none of their buttons is chosen. `utf8` and `automatic` (the code each document's
// bytes tell) are no numbers of a settings file: it keeps them by name.
enum class DocumentCode : int { none = -1, shiftJis = 0, eucJp = 1, utf8 = -2, automatic = -3 };

// Whether a document's untouched copy goes to the folder "backup" beside it before it
// is first changed.
enum class Backup { no, yes };

inline constexpr std::string_view kBackupFolderName = "backup";

// Three separators of a kind, code page 932; empty entries are skipped.
using Separators = std::array<std::string, 3>;

// How long a locked document is waited for, unless a job says otherwise.
inline constexpr std::chrono::milliseconds kDefaultLockWait{10000};

// A job's settings. The starter fills it before the worker starts; the engine only reads it.
struct ConversionSettings {
    Separators startSeparators;  // line breaks already CR LF (matching CR LF or LF)
    Separators endSeparators;
    DocumentCode code = DocumentCode::shiftJis;
    JobProgress* progress = nullptr;  // never null while a job runs
    render::Appearance look;
    render::PngForm pngForm = render::PngForm::rgb;  // the form of the picture files
    // Whether a line end inside a stretch breaks the picture's line as <br> does (art
    // kept in <pre>); off, line breaks come from <br> alone.
    bool lineBreaks = false;
    platform::fs::FileSystem* fileSystem = nullptr;  // null: the real file system
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
    // How long a document that another process holds locked is waited for before it is
    // passed by, not converted.
    std::chrono::milliseconds lockWait{kDefaultLockWait};
};

// The number of cores of the machine: a job's workers when all of them are to work.
int AllCores();

}  // namespace quarvel::engine
