#pragma once
// Sub-commands of quarvel-cli: what each takes from the command line, and what the
// parser (cli/parser.cpp) and the commands share.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job_settings.h"
#include "platform/color.h"
#include "platform/fs.h"
#include "render/appearance.h"
#include "render/png_writer.h"
#include "render/renderer.h"
#include "render/text_prep.h"

namespace quarvel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitAborted = 130;

// The options every sub-command takes for the pictures: --fore, --back (a colour, or
// none), --margin, --no-space-sim and --font for their look, --indexed and --scale for
// their files. Unset members leave the look and the form as they were.
struct LookOptions {
    std::optional<platform::Color> textColor, backColor;
    bool noBack = false;  // --back none: the last --back given
    std::optional<int> margin;
    bool noSpace = false;
    std::string font;
    bool indexed = false;
    std::optional<int> scale;

    void ApplyTo(render::Appearance& look) const {
        if (textColor) look.textColor = *textColor;
        if (backColor) look.backColor = *backColor;
        if (backColor || noBack) look.transparentBack = noBack;
        if (margin) look.margin = *margin;
        if (noSpace) look.collapseSpaces = false;
        if (scale) look.scale = *scale;
    }
    void ApplyTo(render::PngForm& form) const {
        if (indexed) form = render::PngForm::indexed;
    }
};

// render [TEXT-FILE|-] -o OUT.png|-
struct RenderOptions {
    std::string input = "-";
    std::string output;  // "-": standard output
    LookOptions look;
    bool html = false;
    bool lineBreaks = false;  // with html: line ends break lines too
    render::TextEncoding encoding = render::TextEncoding::automatic;
};

// measure [FILE|-], pad --to PIXELS [FILE|-]: text art read as render reads it.
struct ArtTextOptions {
    std::string input = "-";
    LookOptions look;
    bool html = false;
    bool lineBreaks = false;  // html: line ends break lines too
    render::TextEncoding encoding = render::TextEncoding::automatic;
    std::optional<int> to;  // pad: the width every line is filled to
};

// render-pieces FILE.mlt|FILE.ast -o DIR
struct PiecesOptions {
    std::string input;
    std::string output;  // the pictures' folder
    LookOptions look;
    std::optional<int> jobs;  // pictures drawn at once; all cores when unset
};

// thumbnail FILE.mlt|FILE.ast -o OUT.png [--size N]
struct ThumbnailOptions {
    std::string input;
    std::string output;
    int size = 256;  // the picture's width and height in pixels
};

enum class Mode { file, folder };  // convert DOCUMENT..., convert-folder FOLDER

// What the command line asked for; unset members keep the settings file's value
// or the program's default.
struct ConvertOptions {
    std::vector<std::string> targets;
    std::optional<std::string> settingsFile;
    std::optional<engine::DocumentCode> code;
    std::vector<std::string> starts;  // as typed (UTF-8)
    std::vector<std::string> ends;
    bool lineBreaks = false;  // on whatever the settings file says
    bool noBackup = false;
    std::optional<std::string> pattern;
    bool noSubFolders = false;
    LookOptions look;
    bool quiet = false;
    std::optional<int> jobs;  // pictures drawn at once; all cores when unset
    std::chrono::milliseconds lockWait{engine::kDefaultLockWait};
};

// restore DOCUMENT..., restore-folder FOLDER
struct RestoreOptions {
    std::vector<std::string> targets;
    std::optional<std::string> pattern;
    bool noSubFolders = false;
    bool original = false;
    bool force = false;
    std::chrono::milliseconds lockWait{engine::kDefaultLockWait};
};

// More workers than this only hold more pictures in memory.
inline constexpr int kMaxJobs = 256;

// Parses the command line and runs the command; returns the exit status.
int ParseAndRun(int argc, char** argv);

// Each runs a parsed command and returns the exit status.
int RunRender(const RenderOptions& options);
int RunConversion(const ConvertOptions& options, Mode mode);
int RunRenderPieces(const PiecesOptions& options);
int RunThumbnail(const ThumbnailOptions& options);
int RunRestore(const RestoreOptions& options, Mode mode);
int RunMeasure(const ArtTextOptions& options);
int RunPad(const ArtTextOptions& options);

// "quarvel-cli: <message> (see quarvel-cli help <command>)" and a line break: how bad
// usage is told (the general help without a command).
std::string UsageText(const std::string& message, std::string_view command = {});
// Prints UsageText to standard error; returns kExitUsage.
int UsageError(const std::string& message, std::string_view command = {});

// Prints "quarvel-cli: <path>: <message>" to standard error.
void PrintProblem(const std::string& path, const std::string& message);

// "warning: <text>", as each warning is told.
std::string Warning(std::string_view text);

// Prints a failure as the program's message on one line: "quarvel-cli: <path>: <what
// failed>: <the system's reason>". The one place where the command line words a failure.
void PrintFailure(const Failure& failure);

// Prints what went wrong without stopping a document: "quarvel-cli: <path>: warning:
// <what>".
void PrintWarning(const Failure& warning);

// Prints a warning for each thing the picture at `path` does not show of its art;
// `codeHint` names the option that chooses how bytes are decoded.
void PrintNotes(const std::string& path, const render::RenderReport& notes, std::string_view codeHint);

// False, with a message, for a file that is no text at all (a picture, an archive, a
// program, NUL bytes): nothing is drawn from it.
bool RefuseBinary(const std::string& path, std::string_view bytes);

// How a file the user named is called in messages: "(standard input)" for "-".
std::string ShownName(const std::string& path);

// Reads a file the user named whole (standard input for "-"; a pipe or a terminal as
// well as a regular file), or says why not: more than `limit` bytes is a tooLarge
// failure with `tooLargeReason`.
Result<std::string> ReadUserFile(const std::string& path, std::size_t limit, const std::string& tooLargeReason);
// The same, held as read (a large regular file is not copied again).
Result<platform::fs::FileBytes> ReadUserBytes(const std::string& path, std::size_t limit,
                                              const std::string& tooLargeReason);

// Writes `bytes` whole down standard output, or says why not.
Result<void> WriteStandardOutput(std::string_view bytes);

// Applies a non-empty --font PATH (an empty one leaves QUARVEL_FONT in force), or says
// why the file cannot be used.
Result<void> ApplyFontOption(const std::string& path);

// Applies a non-empty --font and opens the main face, before any input is read, or
// says why the font file cannot be used.
Result<void> OpenFaces(const std::string& font);

}  // namespace quarvel::cli
