#pragma once
// The image tags this program writes in place of a stretch, `<img src="./B/NNN.png">`,
// and how it finds its own tags again in a document converted before.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job_settings.h"

namespace quarvel::engine {

// The highest picture number: beyond it a document's pictures can be numbered no
// further.
inline constexpr long kLastPictureNumber = 999'999'999'999'999'999;

// "%03ld": the number of a picture as it stands in its file name.
std::string PictureNumber(long n);

// Whether a file name is a picture's own: digits (no more than a picture number has)
// and ".png", nothing that could lead elsewhere.
bool IsPictureFileName(std::string_view name);

// The base name as it stands in an image tag, in code page 932 (in UTF-8 for a UTF-8
// document): characters that the document's code cannot hold and bytes that are not
// safe in a URL path are percent-encoded from their UTF-8 bytes. For EUC-JP documents
// only ASCII, JIS X 0208 and half-width katakana are held.
std::string TagBaseName(std::string_view nativeBaseName, DocumentCode code);

// The highest number among the tags of the text that begin with `prefix` (up to and
// including the slash after the base name), as this program writes them; 0 for none.
// A tag of more digits than kLastPictureNumber counts as kLastPictureNumber + 1.
long HighestOwnTagNumber(std::string_view text, std::string_view prefix);

// The numbers of every tag of the text that begins with `prefix`, as this program
// writes them, in the order they stand.
std::vector<long> OwnTagNumbers(std::string_view text, std::string_view prefix);

// Whether the stretch is exactly one tag of this program with that prefix.
bool IsOwnTag(std::string_view stretch, std::string_view prefix);

}  // namespace quarvel::engine
