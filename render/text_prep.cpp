#include "render/text_prep.h"

#include <algorithm>
#include <utility>

#include "platform/codec.h"
#include "platform/language.h"
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

std::string LineEndsAsBreaks(std::string_view stretch) {
    // CR and LF are never the second byte of a character: a byte-wise pass is safe.
    if (stretch.starts_with("\r\n"))
        stretch.remove_prefix(2);
    else if (stretch.starts_with('\n') || stretch.starts_with('\r'))
        stretch.remove_prefix(1);
    if (stretch.ends_with("\r\n"))
        stretch.remove_suffix(2);
    else if (stretch.ends_with('\n') || stretch.ends_with('\r'))
        stretch.remove_suffix(1);
    std::string out;
    out.reserve(stretch.size() + stretch.size() / 8);
    for (std::size_t i = 0; i < stretch.size();) {
        const std::size_t end = std::min(stretch.find_first_of("\r\n", i), stretch.size());
        out.append(stretch.substr(i, end - i));
        if (end == stretch.size()) break;
        out += "<br>";
        i = end + (stretch.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return out;
}

std::optional<std::string_view> SignedBinaryFormat(std::string_view bytes) {
    static constexpr std::pair<std::string_view, std::string_view> kSignatures[] = {
        {"\x89PNG\r\n\x1A\n", N_("PNG picture")},
        {"\xFF\xD8\xFF", N_("JPEG picture")},
        {"GIF87a", N_("GIF picture")},
        {"GIF89a", N_("GIF picture")},
        {"II*\0", N_("TIFF picture")},
        {"MM\0*", N_("TIFF picture")},
        {"%PDF-", N_("PDF document")},
        {"PK\x03\x04", N_("ZIP archive")},
        {"\x1F\x8B", N_("gzip archive")},
        {"BZh", N_("bzip2 archive")},
        {"\xFD"
         "7zXZ\0",
         N_("xz archive")},
        {"7z\xBC\xAF\x27\x1C", N_("7-Zip archive")},
        {"Rar!\x1A\x07", N_("RAR archive")},
        {"\x28\xB5\x2F\xFD", N_("zstd archive")},
        {"\x7F"
         "ELF",
         N_("program")},
    };
    for (const auto& [signature, format] : kSignatures)
        if (bytes.starts_with(signature)) return format;
    if (bytes.size() >= 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "WEBP") return N_("WebP picture");
    if (bytes.size() >= 262 && bytes.substr(257, 5) == "ustar") return N_("tar archive");
    return std::nullopt;
}

std::optional<std::string_view> BinaryFormat(std::string_view bytes) {
    if (const std::optional<std::string_view> format = SignedBinaryFormat(bytes)) return format;
    constexpr std::size_t kFirstBlock = 8192;
    if (bytes.substr(0, kFirstBlock).find('\0') != std::string_view::npos) return N_("binary data");
    return std::nullopt;
}

std::optional<std::string> NotTextReason(std::string_view bytes) {
    const std::optional<std::string_view> format = BinaryFormat(bytes);
    if (!format) return std::nullopt;
    return platform::Fill(_("not text but {1}; nothing drawn"), {_(std::string(*format).c_str())});
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
