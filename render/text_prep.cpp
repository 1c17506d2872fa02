#include "render/text_prep.h"

#include <algorithm>

#include "platform/codec.h"
#include "render/references.h"

namespace quarvel::render {

namespace cp932 = platform::cp932;

std::string PreparePlainText(std::string_view text) {
    // '<', CR and LF never occur as the second byte of a double-byte character, so
    // a byte-wise pass is safe. The result is sized exactly first.
    std::size_t size = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<' || text[i] == '\n')
            size += 3;
        else if (text[i] == '\r')
            size += (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 3;
    }
    std::string out;
    out.reserve(size);
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

std::string PrepareTextFile(std::string bytes, TextEncoding encoding, TextForm form) {
    const bool utf8 =
        encoding == TextEncoding::utf8 || (encoding == TextEncoding::automatic && cp932::IsValidUtf8(bytes));
    if (utf8) {
        std::string_view text = bytes;
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        // ASCII without NUL stays as it is, and need not be held twice.
        if (std::all_of(text.begin(), text.end(), [](char c) {
                auto b = static_cast<unsigned char>(c);
                return b != 0 && b < 0x80;
            })) {
            bytes.erase(0, bytes.size() - text.size());
        } else {
            std::string converted = Utf8ToCp932WithReferences(text);
            bytes = std::move(converted);
        }
    } else {
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    }
    if (form == TextForm::html) return bytes;
    return PreparePlainText(bytes);
}

}  // namespace quarvel::render
