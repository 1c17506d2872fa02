#include "server/routes.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <new>
#include <optional>

#include "engine/messages.h"
#include "platform/codec.h"
#include "platform/fonts.h"
#include "platform/language.h"
#include "render/text_prep.h"
#include "server/assets.h"
#include "server/etag.h"
#include "server/render_call.h"
#include "server/request.h"

namespace quarvel::server {

using render::TextArtOptions;
using render::TextEncoding;

namespace cp932 = platform::cp932;

namespace {

// The page runs its own script and style only, loads pictures it made itself (blob:)
// and talks to this service alone.
constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' blob:; connect-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// Pictures depend only on what names them: any cache may keep them for good.
constexpr const char* kForever = "public, max-age=31536000, immutable";

void Common(HttpResponse& r) { r.headers.emplace_back("X-Content-Type-Options", "nosniff"); }

// Another site's script may read pictures and errors (they hold nothing private).
void OpenToAll(HttpResponse& r) {
    r.headers.emplace_back("Access-Control-Allow-Origin", "*");
    r.headers.emplace_back("Access-Control-Expose-Headers", "ETag, X-Quarvel-Report, Server-Timing");
}

HttpResponse MethodNotAllowed(std::string_view allow) {
    HttpResponse r = JsonError(405, ErrorCode::methodNotAllowed, "this path takes " + std::string(allow));
    r.headers.emplace_back("Allow", std::string(allow));
    return r;
}

// The picture's report for a script: size, what it leaves out, the warnings.
std::string ReportJson(const RenderedPng& png) {
    constexpr std::size_t kFacelessShown = 64;
    std::string json = "{\"width\":" + std::to_string(png.width) + ",\"height\":" + std::to_string(png.height) +
                       ",\"linesCut\":" + (png.report.linesCut ? "true" : "false") +
                       ",\"widthCut\":" + (png.report.widthCut ? "true" : "false") +
                       ",\"undecodable\":" + std::to_string(png.report.undecodable) + ",\"faceless\":[";
    for (std::size_t i = 0; i < png.report.faceless.size() && i < kFacelessShown; ++i)
        json += (i ? "," : "") + std::to_string(static_cast<unsigned>(png.report.faceless[i]));
    json += "],\"facelessCount\":" + std::to_string(png.report.faceless.size()) + ",\"warnings\":[";
    for (std::size_t i = 0; i < png.warnings.size(); ++i) json += (i ? "," : "") + JsonString(png.warnings[i]);
    return json + "]}";
}

HttpResponse ServeAsset(const HttpRequest& request, const server::Asset& asset) {
    HttpResponse r;
    Common(r);
    r.headers.emplace_back("ETag", asset.etag);
    r.headers.emplace_back("Cache-Control", "no-cache");
    if (asset.path == "/") {
        // Its language is chosen by Accept-Language (AcceptedLanguage).
        r.headers.emplace_back("Vary", "Accept-Language");
        r.headers.emplace_back("Content-Security-Policy", kPagePolicy);
        r.headers.emplace_back("Referrer-Policy", "no-referrer");
        r.headers.emplace_back("X-Frame-Options", "DENY");
    }
    if (request.ifNoneMatch && IfNoneMatchMatches(*request.ifNoneMatch, asset.etag)) {
        r.status = 304;
        return r;
    }
    r.headers.emplace_back("Content-Type", std::string(asset.contentType));
    r.body = std::string(asset.body);
    return r;
}

// How the bytes of the art are read: the query's `encoding`, the body's charset, or
// UTF-8. Both given and different is an error.
Parsed<TextEncoding> EncodingOf(const PictureRequest& picture, const HttpRequest& request) {
    using Result = Parsed<TextEncoding>;
    std::optional<Charset> charset = picture.encoding;
    if (request.method == "POST" && request.contentType) {
        const std::optional<MediaType> media = ParseMediaType(*request.contentType);
        if (!media || media->type != "text/plain")
            return Result::Fail(
                "send the art as Content-Type: text/plain; charset=utf-8 (or charset=shift_jis), not '" +
                    Printable(*request.contentType) + "'",
                415, ErrorCode::notText);
        if (!media->unknownCharset.empty())
            return Result::Fail(
                "charset '" + media->unknownCharset + "' is not read; send utf-8 or shift_jis (cp932, windows-31j)",
                415, ErrorCode::unknownCharset);
        if (media->charset && charset && *charset != Charset::automatic && *media->charset != *charset)
            return Result::Fail("the Content-Type's charset and the encoding option differ");
        if (media->charset && (!charset || *charset != Charset::automatic)) charset = media->charset;
    }
    switch (charset.value_or(Charset::utf8)) {
    case Charset::utf8: return {TextEncoding::utf8, {}};
    case Charset::cp932: return {TextEncoding::cp932, {}};
    case Charset::automatic: return {TextEncoding::automatic, {}};
    }
    return {TextEncoding::utf8, {}};
}

// Why a body that is not text at all is not drawn, in the words quarvel-cli says it in
// (the same whatever the service's locale).
std::optional<std::string> NotText(std::string_view bytes) {
    const platform::SourceTexts sourceTexts;
    return render::NotTextReason(bytes);
}

// Empty when the bytes decode in the encoding; else why not.
std::string Undecodable(std::string_view bytes, TextEncoding encoding) {
    if (encoding == TextEncoding::utf8) {
        for (std::size_t i = 0; i < bytes.size();) {
            char32_t cp = 0;
            const std::size_t n = cp932::DecodeUtf8(bytes, i, cp);
            if (n == 0)
                return "the text is not UTF-8: byte " + std::to_string(i) +
                       " does not decode (send charset=shift_jis "
                       "for Shift-JIS)";
            i += n;
        }
    } else if (encoding == TextEncoding::cp932) {
        for (std::size_t i = 0; i < bytes.size();) {
            const cp932::Decoded d = cp932::DecodeOne(bytes.substr(i));
            if (!d.valid)
                return "the text is not Shift-JIS (code page 932): byte " + std::to_string(i) + " does not decode";
            i += d.length;
        }
    }
    return {};
}

Routed Render(HttpRequest& request, const ServiceSettings& settings) {
    const std::size_t question = request.target.find('?');
    const Parsed<std::vector<QueryPair>> pairs = ParseQuery(
        question == std::string::npos ? std::string_view() : std::string_view(request.target).substr(question + 1));
    if (!pairs) return {JsonError(pairs), {}};
    Parsed<PictureRequest> picture = ReadPictureRequest(*pairs.value);
    if (!picture) return {JsonError(picture), {}};

    Drawing drawing;
    if (request.method == "POST") {
        if (picture.value->text)
            return {JsonError(400, ErrorCode::badParameter, "a POST sends the art as its body, not as ?text="), {}};
        drawing.text = std::move(request.body);
    } else {
        if (!picture.value->text)
            return {
                JsonError(400, ErrorCode::missingText, "give the art as ?text=... (percent-encoded UTF-8), or POST it"),
                {}};
        drawing.text = std::move(*picture.value->text);
    }
    if (drawing.text.size() > settings.maxBody)
        return {JsonError(413, ErrorCode::tooLarge,
                          "the art is larger than " + std::to_string(settings.maxBody) + " bytes"),
                {}};
    const Parsed<TextEncoding> encoding = EncodingOf(*picture.value, request);
    if (!encoding) return {JsonError(encoding), {}};
    drawing.options = picture.value->art;
    drawing.options.encoding = *encoding.value;
    drawing.form = picture.value->form;
    if (std::optional<std::string> why = NotText(drawing.text))
        return {JsonError(400, ErrorCode::notDecodable, *why), {}};
    if (std::string why = Undecodable(drawing.text, drawing.options.encoding); !why.empty())
        return {JsonError(400, ErrorCode::notDecodable, why), {}};

    HttpResponse& r = drawing.answer;
    Common(r);
    OpenToAll(r);
    const std::string tag = PictureTag(settings.program, drawing.text, drawing.options, drawing.form);
    r.headers.emplace_back("ETag", tag);
    r.headers.emplace_back("Cache-Control", kForever);
    if (request.ifNoneMatch && IfNoneMatchMatches(*request.ifNoneMatch, tag)) {
        r.status = 304;
        return {std::move(r), {}};
    }
    return {{}, std::move(drawing)};
}

// Everything but /render: the page and its files, /healthz, 404.
HttpResponse AnswerAtOnce(const HttpRequest& request, std::string_view path, bool get) {
    if (path == "/healthz") {
        if (!get) return MethodNotAllowed("GET, HEAD");
        HttpResponse r;
        Common(r);
        r.headers.emplace_back("Content-Type", "application/json; charset=utf-8");
        r.headers.emplace_back("Cache-Control", "no-store");
        r.body = "{\"status\": \"ok\"}\n";
        return r;
    }
    if (const server::Asset* asset = FindAsset(path, AcceptedLanguage(request.acceptLanguage))) {
        if (!get) return MethodNotAllowed("GET, HEAD");
        return ServeAsset(request, *asset);
    }
    return JsonError(404, ErrorCode::noSuchPath,
                     "no such path: " + Printable(path) + " (the service has /, /render and /healthz)");
}

// The picture's answer: its headers so far, the picture and what it leaves out.
HttpResponse PictureAnswer(HttpResponse r, RenderedPng png, std::chrono::steady_clock::time_point start) {
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    char timing[48];
    std::snprintf(timing, sizeof timing, "draw;dur=%.2f", ms);
    r.headers.emplace_back("Content-Type", "image/png");
    r.headers.emplace_back("Content-Disposition", "inline; filename=\"quarvel.png\"");
    r.headers.emplace_back("X-Quarvel-Report", ReportJson(png));
    r.headers.emplace_back("Server-Timing", timing);
    r.body = std::move(png.png);
    return r;
}

}  // namespace

const std::string* HttpResponse::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (key.size() == name.size() &&
            std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) { return (a | 0x20) == (b | 0x20); }))
            return &value;
    return nullptr;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    const auto escape = [&out](unsigned unit) {
        char escaped[16];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", unit);
        out += escaped;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = c;
        const std::size_t n = c < 0x80 ? 1 : cp932::DecodeUtf8(text, i, cp);
        if (n == 0) {
            escape(c);  // a byte that is no UTF-8, as the character of its value
            ++i;
            continue;
        }
        i += n;
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp >= 0x20 && cp < 0x7F) {
            out += static_cast<char>(cp);
        } else if (cp < 0x10000) {
            escape(cp);
        } else {
            escape(0xD800 + ((cp - 0x10000) >> 10));
            escape(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return out + "\"";
}

HttpResponse JsonError(int status, ErrorCode code, std::string_view message) {
    HttpResponse r;
    r.status = status;
    Common(r);
    OpenToAll(r);
    r.headers.emplace_back("Content-Type", "application/json; charset=utf-8");
    r.headers.emplace_back("Cache-Control", "no-store");
    r.body = "{\"error\": " + JsonString(message) + ", \"code\": \"" + ErrorCodeName(code) + "\"}\n";
    return r;
}

HttpResponse Busy(std::string_view why, ErrorCode code) {
    HttpResponse busy = JsonError(503, code, why);
    busy.headers.emplace_back("Retry-After", "1");
    return busy;
}

std::string FailureText(const Failure& failure) {
    // A script reads the same words whatever the service's locale.
    const platform::SourceTexts sourceTexts;
    return engine::OneLine(engine::MessageText(failure));
}

HttpResponse FailureAnswer(const Failure& failure) {
    // Memory is the service's capacity: it comes back when other requests are done.
    if (failure.Is(Failure::What::outOfMemory))
        return Busy(FailureText(failure) + "; try again later", ErrorCode::outOfMemory);
    // What the client sent and the program cannot take.
    if (failure.Is(Failure::What::tooLarge)) return JsonError(400, ErrorCode::tooLarge, FailureText(failure));
    if (failure.Is(Failure::What::wrongCode)) return JsonError(400, ErrorCode::notDecodable, FailureText(failure));
    // What failed here; logged as an error with the request.
    return JsonError(500, ErrorCode::internal, FailureText(failure));
}

std::string LoggedPath(std::string_view target) { return Printable(target.substr(0, target.find('?')), 200); }

Routed Route(HttpRequest request, const ServiceSettings& settings) {
    const std::string_view target = request.target;
    const std::string_view path = target.substr(0, target.find('?'));
    const std::string& method = request.method;
    const bool get = method == "GET" || method == "HEAD";
    if (path == "/render") {
        if (method == "OPTIONS") {
            HttpResponse r;
            r.status = 204;
            Common(r);
            r.headers.emplace_back("Access-Control-Allow-Origin", "*");
            r.headers.emplace_back("Access-Control-Allow-Methods", "GET, HEAD, POST, OPTIONS");
            r.headers.emplace_back("Access-Control-Allow-Headers", "Content-Type, If-None-Match");
            r.headers.emplace_back("Access-Control-Max-Age", "86400");
            r.headers.emplace_back("Allow", "GET, HEAD, POST, OPTIONS");
            return {std::move(r), {}};
        }
        if (!get && method != "POST") return {MethodNotAllowed("GET, HEAD, POST, OPTIONS"), {}};
        return Render(request, settings);
    }
    return {AnswerAtOnce(request, path, get), {}};
}

HttpResponse Draw(Drawing drawing, const ServiceSettings& settings) {
    const auto start = std::chrono::steady_clock::now();
    try {
        const platform::ProcessorTimeLimit limit(settings.cpuLimit);
        Result<RenderedPng> png = RenderPng(std::move(drawing.text), drawing.options, drawing.form);
        if (!png) return FailureAnswer(png.failure());
        return PictureAnswer(std::move(drawing.answer), std::move(*png), start);
    } catch (const platform::ProcessorTimeExceeded&) {
        return Busy("the picture needs more than " + std::to_string(settings.cpuLimit.count()) +
                        " ms of processor time to find its characters; ask again: what was found is kept",
                    ErrorCode::cpuLimit);
    } catch (const std::bad_alloc&) {
        return FailureAnswer(Failure{Failure::What::outOfMemory});
    }
}

}  // namespace quarvel::server
