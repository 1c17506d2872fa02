#pragma once
// Sub-commands of quarvel-cli and the option parsing they share.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/color.h"
#include "render/appearance.h"
#include "render/png_writer.h"

namespace quarvel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitAborted = 130;

// Each takes the arguments after the sub-command's name and returns the exit status.
int RunRender(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);        // convert DOCUMENT...
int RunConvertFolder(const std::vector<std::string>& args);  // convert-folder FOLDER
int RunRenderPieces(const std::vector<std::string>& args);   // render-pieces FILE -o DIR

// "RRGGBB" (an optional leading '#') in the usual red-green-blue order.
std::optional<Color> ParseColorOption(std::string_view text);
// A whole decimal number within [lo, hi].
std::optional<int> ParseIntOption(std::string_view text, int lo, int hi);

// The options every sub-command takes for the pictures: --fore, --back, --margin,
// --no-space-sim and --font for their look, --indexed for the form of their files.
// Unset members leave the look and the form as they were.
struct LookOptions {
    std::optional<Color> textColor, backColor;
    std::optional<int> margin;
    bool noSpace = false;
    std::string font;
    bool indexed = false;

    void ApplyTo(Appearance& look) const {
        if (textColor) look.textColor = *textColor;
        if (backColor) look.backColor = *backColor;
        if (margin) look.margin = *margin;
        if (noSpace) look.collapseSpaces = false;
    }
    void ApplyTo(PngForm& form) const {
        if (indexed) form = PngForm::indexed;
    }
};

// Takes args[i], with its value (i moves past it), when it is one of the look
// options. Returns false when it is not; sets `problem` when its value is bad.
bool ParseLookOption(const std::vector<std::string>& args, std::size_t& i, LookOptions& o, std::string& problem);

// How many pictures are drawn at once, --jobs N or -j N: more workers than
// kMaxJobs only hold more pictures in memory.
inline constexpr int kMaxJobs = 256;
// Takes args[i], with its value, when it is --jobs or -j; as ParseLookOption.
bool ParseJobsOption(const std::vector<std::string>& args, std::size_t& i, std::optional<int>& jobs,
                     std::string& problem);

// Prints "quarvel-cli: <message>" and the usage hint to standard error; returns kExitUsage.
int UsageError(const std::string& message);

// Applies --font PATH (or leaves QUARVEL_FONT in force); returns false with a message
// on standard error when the file cannot be used.
bool ApplyFontOption(const std::string& path);

// Applies --font (when given) and opens the main face before anything is read: with
// little memory to spare, a large text must not leave it unopened (its characters
// would come out blank). The fallback faces open when a character needs them, and
// report running out of memory. False as ApplyFontOption.
bool OpenMainFace(const LookOptions& look);

}  // namespace quarvel::cli
