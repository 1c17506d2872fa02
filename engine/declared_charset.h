#pragma once
// The character set a document says it is written in, to compare with the code the
// user chose for it.

#include <string>
#include <string_view>

#include "engine/job_settings.h"

namespace quarvel::engine {

// The character set a meta tag near the start of the document declares, as
// <meta charset="X"> or <meta http-equiv=... content="text/html; charset=X">, in
// lower case; empty when there is none.
std::string DeclaredCharset(std::string_view document);

// Whether a declared character set (lower case) is one of the names of the code:
// shift_jis and the names of Windows' code page 932, euc-jp and its others, or utf-8.
// Any other code reads documents as Shift-JIS.
bool CharsetNamesCode(std::string_view charset, DocumentCode code);

}  // namespace quarvel::engine
