#include "render/text_prep.h"

#include "platform/codec.h"
#include "render/unicoder.h"

namespace quarvel {

std::string PreparePlainText(std::string_view text) {
    // '<', CR and LF never occur as the second byte of a double-byte character, so
    // a byte-wise pass is safe.
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '<') {
            out += "&lt;";
        } else if (c == '\r') {
            out += "<br>";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "<br>";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Utf8ToCp932WithReferences(std::string_view utf8) {
    std::u16string wide = cp932::Utf8ToUtf16(utf8);
    return GetUnicoder().MergeWideText(cp932::FromUtf16Lossy(wide), wide);
}

}  // namespace quarvel
