#include "server/etag.h"

#include <nettle/sha2.h>

#include <array>
#include <cstdint>

namespace quarvel::server {

using render::Appearance;
using render::PngForm;
using render::TextArtOptions;
using render::TextEncoding;
using render::TextForm;

using platform::Color;

namespace {

class Sha256 {
public:
    Sha256() { sha256_init(&context_); }
    Sha256& Add(std::string_view bytes) {
        sha256_update(&context_, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
        return *this;
    }
    // A field of a record: its length first, so that no two records hash alike by
    // moving bytes from one field to the next.
    Sha256& Field(std::string_view bytes) {
        const std::string length = std::to_string(bytes.size()) + ":";
        return Add(length).Add(bytes);
    }
    std::string Hex() {
        std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest;
        sha256_digest(&context_, digest.size(), digest.data());
        static constexpr char kHex[] = "0123456789abcdef";
        std::string out;
        for (std::uint8_t b : digest) {
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
        return out;
    }

private:
    sha256_ctx context_;
};

std::string Colour(Color c) {
    char text[8];
    static constexpr char kHex[] = "0123456789ABCDEF";
    int i = 0;
    for (std::uint8_t b : {c.red, c.green, c.blue}) {
        text[i++] = kHex[b >> 4];
        text[i++] = kHex[b & 15];
    }
    return std::string(text, 6);
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) { return Sha256().Add(bytes).Hex(); }

std::string PictureTag(std::string_view program, std::string_view text, const TextArtOptions& options, PngForm form) {
    const Appearance& look = options.look;
    const char* encoding = options.encoding == TextEncoding::utf8    ? "utf-8"
                           : options.encoding == TextEncoding::cp932 ? "cp932"
                                                                     : "auto";
    Sha256 hash;
    hash.Field(program)
        .Field(Colour(look.textColor))
        .Field(Colour(look.backColor) + (look.transparentBack ? " none" : ""))
        .Field(std::to_string(look.margin))
        .Field(look.collapseSpaces ? "space-sim" : "no-space-sim")
        .Field(options.form == TextForm::html ? "html" : "plain")
        .Field(form == PngForm::indexed ? "indexed" : "rgb")
        .Field(std::to_string(look.scale))
        .Field(encoding)
        .Field(text);
    // 128 bits name a picture well enough; the tag stays short in every header.
    return "\"q1-" + hash.Hex().substr(0, 32) + "\"";
}

}  // namespace quarvel::server
