// The commands for making text art as the command line's table has them: measure
// and pad.

#include <string>

#include "cli/parser.h"
#include "cmdline/checks.h"
#include "platform/language.h"
#include "render/look_options.h"
#include "render/tokens.h"

namespace quarvel::cli {

using cmdline::Needs;
using platform::Fill;
namespace look_options = render::look_options;

void CommandLine::AddMeasure() {
    CLI::App& app = *app_.add_subcommand(
        "measure", _("print the width in pixels of each line of text art, as the picture draws it"));
    ArtTextOptions& o = artText_;
    AddTextOperand(app, o.input);
    AddTextForm(app, o.html, o.lineBreaks, o.encoding);
    AddLookOptions(app, o.look);
    AddCommand(&app,
               _("0 done, 1 the text could not be read or is no text, or the widths could not be written, 2 bad "
                 "usage."),
               _("only one text file can be measured at a time"), [this] { return RunMeasure(artText_); });
}

void CommandLine::AddPad() {
    CLI::App& app = *app_.add_subcommand(
        "pad", _("fill the end of each line of text art with blanks that a board keeps, to a width in pixels"));
    ArtTextOptions& o = artText_;
    AddTextOperand(app, o.input);
    const std::string range = Fill(_("a number from {1} to {2}"), {"0", std::to_string(render::kMaxTextWidth)});
    Note(app.add_option_function<std::string>(
                "--to",
                [&o](const std::string& v) {
                    o.to = look_options::ParseWholeNumber(v, 0, render::kMaxTextWidth);
                },
                Fill(_("the width in pixels that every line is filled to, {1} (required)"), {range}))
             ->type_name("PIXELS")
             ->check(Needs("--to", Fill(_("needs {1}"), {range}), [](const std::string& v) {
                 return look_options::ParseWholeNumber(v, 0, render::kMaxTextWidth).has_value();
             })),
         {}, _("the width is missing: give --to PIXELS"));
    AddTextForm(app, o.html, o.lineBreaks, o.encoding);
    AddLookOptions(app, o.look);
    AddCommand(&app,
               _("0 done, 1 a line cannot be filled to the width exactly (it is wider, or no blanks make the rest), "
                 "the text could not be read or is no text, or it could not be written, 2 bad usage."),
               _("only one text file can be padded at a time"), [this] { return RunPad(artText_); });
}

}  // namespace quarvel::cli
