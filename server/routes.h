#pragma once
// What the service answers to each request, apart from the network: the page and its
// files, /healthz, and /render. Every error is a JSON body {"error": "..."} with its
// status; nothing a client sends makes a 500.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarvel::server {

struct HttpRequest {
    std::string method;  // as sent: "GET", "POST", ...
    std::string target;  // the request-target as sent: "/render?margin=4"
    std::optional<std::string> contentType;
    std::optional<std::string> ifNoneMatch;
    std::string body;
};

struct HttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    const std::string* Header(std::string_view name) const;
};

struct ServiceSettings {
    std::string program;               // what draws the pictures, part of their tags: "quarvel-server 0.1.0"
    std::size_t maxBody = 1u << 20;    // the largest body of a POST
};

// The answer to one whole request (HEAD is answered as GET; the network leaves the
// body out).
HttpResponse Answer(HttpRequest request, const ServiceSettings& settings);

// An error answer: the status, {"error": message} and the headers every error has.
HttpResponse JsonError(int status, std::string_view message);

// A JSON string literal of the text (quoted; control characters and bytes beyond
// ASCII escaped, the latter as \u00NN so that any bytes make valid JSON).
std::string JsonString(std::string_view text);

// The path of a request-target without its query, printable, for the log: the query
// of GET /render holds the art, which is never logged.
std::string LoggedPath(std::string_view target);

}  // namespace quarvel::server
