#pragma once
// The options that choose a picture's look and form, named and read once for every
// front that takes them as text: the command line (--fore FF0000) and the web
// service (?fore=FF0000), so that the two cannot drift apart.

#include <optional>
#include <string>
#include <string_view>

#include "platform/color.h"
#include "platform/language.h"

namespace quarvel::render::look_options {

// The names: the command line's --NAME and the web service's query parameter NAME.
inline constexpr std::string_view kFore = "fore";
inline constexpr std::string_view kBack = "back";
inline constexpr std::string_view kMargin = "margin";
inline constexpr std::string_view kNoSpaceSim = "no-space-sim";  // a flag: every space drawn
inline constexpr std::string_view kSpaceSim = "space-sim";       // a switch, on unless turned off
inline constexpr std::string_view kHtml = "html";
inline constexpr std::string_view kIndexed = "indexed";
inline constexpr std::string_view kEncoding = "encoding";
inline constexpr std::string_view kFont = "font";
inline constexpr std::string_view kScale = "scale";
// The value of `back` that asks for a transparent background, in any case.
inline constexpr std::string_view kNoBack = "none";

// "RRGGBB" (an optional leading '#') in the usual red-green-blue order, as in HTML.
std::optional<platform::Color> ParseColor(std::string_view text);
// A whole decimal number within [lo, hi].
std::optional<int> ParseWholeNumber(std::string_view text, int lo, int hi);
// A margin: a whole number from 0 to kMaxMargin.
std::optional<int> ParseMargin(std::string_view text);
// A scale: a whole number from 1 to kMaxScale.
std::optional<int> ParseScale(std::string_view text);
// Whether a background's value is kNoBack.
bool IsNoBack(std::string_view text);

// What a bad value needs, for the messages: "needs a colour as RRGGBB, ...".
// (Translated where a front shows it: the service answers in English.)
inline constexpr const char* kColorNeeds = N_("needs a colour as RRGGBB, such as FF0000 for red");
std::string MarginNeeds();
inline constexpr const char* kBackNeeds =
    N_("needs a colour as RRGGBB, such as FF0000 for red, or none for a transparent background");
std::string ScaleNeeds();

}  // namespace quarvel::render::look_options
