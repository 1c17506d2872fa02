#pragma once
// What the service answers to each request, apart from the network: the page and its
// files, /healthz, and /render. Every error is a JSON body {"error": "...", "code":
// "..."} with its status; nothing a client sends makes a 500. A picture is answered in two steps:
// Route says what is to be drawn (or answers at once: the page, /healthz, errors, a
// tag that still matches), Draw draws it, so that the network can leave drawing to
// threads of its own.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "render/png_writer.h"
#include "render/text_art.h"
#include "server/request.h"

namespace quarvel::server {

struct HttpRequest {
    std::string method;  // as sent: "GET", "POST", ...
    std::string target;  // the request-target as sent: "/render?margin=4"
    std::optional<std::string> contentType;
    std::optional<std::string> ifNoneMatch;
    std::string acceptLanguage;  // its fields joined by commas; empty when there is none
    std::string body;
};

struct HttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    const std::string* Header(std::string_view name) const;
};

struct ServiceSettings {
    std::string program;             // what draws the pictures, part of their tags: "quarvel-server 0.1.0"
    std::size_t maxBody = 1u << 20;  // the largest body of a POST
    // The processor time one picture may take to load the glyphs it needs (the slow part).
    std::chrono::milliseconds cpuLimit{1000};
};

// A picture to draw: its text and options, and its answer without the picture.
struct Drawing {
    std::string text;
    render::TextArtOptions options;
    render::PngForm form = render::PngForm::rgb;
    HttpResponse answer;
};

// What a request gets: `answer`, or when `drawing` is set, what Draw makes of it.
struct Routed {
    HttpResponse answer;
    std::optional<Drawing> drawing;
};
Routed Route(HttpRequest request, const ServiceSettings& settings);

// The picture's answer: 200 with the PNG, a failure's answer (FailureAnswer), or 503
// with Retry-After when memory runs out
// or the glyphs it needs take longer than settings.cpuLimit (those loaded by then
// stay loaded, so asking again goes on from there).
HttpResponse Draw(Drawing drawing, const ServiceSettings& settings);

// An error answer: the status, {"error": message, "code": code} and the headers every
// error has.
HttpResponse JsonError(int status, ErrorCode code, std::string_view message);
template <typename T>
HttpResponse JsonError(const Parsed<T>& failed) {
    return JsonError(failed.status, failed.code, failed.error);
}

// 503 with Retry-After: 1 and why: the service cannot take the request now, but soon.
HttpResponse Busy(std::string_view why, ErrorCode code = ErrorCode::busy);
// The engine's message of a failure in UTF-8, on one line: the words the command line
// and the window use for it, as the sources have them whatever the service's locale.
std::string FailureText(const Failure& failure);
// The answer to a failure, by its kind: 503 (Busy) for memory, the service's capacity;
// 400 for what the client sent that cannot be taken; 500, with the reason, for what
// failed here.
HttpResponse FailureAnswer(const Failure& failure);

// A JSON string literal of the text (quoted; control characters and everything beyond
// ASCII escaped: UTF-8 as the \uNNNN of its UTF-16, other bytes as \u00NN, so that
// any bytes make valid JSON that is ASCII, fit for a header).
std::string JsonString(std::string_view text);

// The path of a request-target without its query, printable, for the log: the query
// of GET /render holds the art, which is never logged.
std::string LoggedPath(std::string_view target);

}  // namespace quarvel::server
