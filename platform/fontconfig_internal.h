#pragma once
// fontconfig as the fonts use it: the functions they call, from the library loaded
// when one is first needed. Only the platform's sources include it.

#include <fontconfig/fontconfig.h>

namespace quarvel::platform::detail {

// The fontconfig functions used here, from the library loaded on their first use: a
// run whose characters are all in the chain's known files never needs fontconfig, and
// loading it (with the XML parser it brings) costs a short run a few per cent.
// clang-format off
#define QUARVEL_FONTCONFIG_FUNCTIONS(X) \
    X(FcInit) \
    X(FcNameParse) \
    X(FcConfigSubstitute) \
    X(FcDefaultSubstitute) \
    X(FcFontMatch) \
    X(FcFontSort) \
    X(FcPatternCreate) \
    X(FcPatternDestroy) \
    X(FcPatternAddCharSet) \
    X(FcPatternAddString) \
    X(FcPatternGetString) \
    X(FcPatternGetInteger) \
    X(FcPatternGetCharSet) \
    X(FcFontSetDestroy) \
    X(FcFontList) \
    X(FcObjectSetBuild) \
    X(FcObjectSetDestroy) \
    X(FcCharSetCreate) \
    X(FcCharSetAddChar) \
    X(FcCharSetMerge) \
    X(FcCharSetHasChar) \
    X(FcCharSetDestroy) \
    X(FcStrCmpIgnoreCase)
// clang-format on

struct Fontconfig {
#define QUARVEL_DECLARE(name) decltype(&::name) name = nullptr;
    QUARVEL_FONTCONFIG_FUNCTIONS(QUARVEL_DECLARE)
#undef QUARVEL_DECLARE
};

// fontconfig, loaded and initialised; null, said once on standard error, when it cannot
// be loaded (then no family is found through it and no fallback face offered).
const Fontconfig* Fc();

}  // namespace quarvel::platform::detail
