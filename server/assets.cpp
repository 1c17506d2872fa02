#include "server/assets.h"

#include <array>

#include "server/etag.h"

namespace quarvel::server {
namespace {

#include "server_assets.inc"

template <std::size_t N>
std::string_view View(const unsigned char (&bytes)[N]) {
    return {reinterpret_cast<const char*>(bytes), N};
}

Asset Make(std::string_view path, std::string_view type, std::string_view body) {
    return {path, type, body, "\"a-" + Sha256Hex(body).substr(0, 32) + "\""};
}

// The page with <html lang="en">.
std::string EnglishPage(std::string_view page) {
    std::string english(page);
    constexpr std::string_view kJapanese = "<html lang=\"ja\">";
    if (const std::size_t at = english.find(kJapanese); at != std::string::npos)
        english.replace(at, kJapanese.size(), "<html lang=\"en\">");
    return english;
}

}  // namespace

const Asset* FindAsset(std::string_view path, platform::Language language) {
    static const std::string englishPage = EnglishPage(View(kIndexHtml));
    static const std::array<Asset, 5> assets = {
        Make("/", "text/html; charset=utf-8", View(kIndexHtml)),
        Make("/", "text/html; charset=utf-8", englishPage),
        Make("/app.js", "text/javascript; charset=utf-8", View(kAppJs)),
        Make("/app.css", "text/css; charset=utf-8", View(kAppCss)),
        Make("/favicon.svg", "image/svg+xml", View(kFaviconSvg)),
    };
    if (path == "/") return &assets[language == platform::Language::english ? 1 : 0];
    for (const Asset& asset : assets)
        if (asset.path == path) return &asset;
    return nullptr;
}

}  // namespace quarvel::server
