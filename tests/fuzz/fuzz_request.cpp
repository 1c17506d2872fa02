// quarvel-server's reading of requests on random bytes: the query and its options, the
// media type, If-None-Match, Transfer-Encoding, Accept-Language, the command line's
// address and sizes, and the whole answer to a request that passed HTTP (method,
// target, Content-Type, If-None-Match, body).
//
// Input: a byte choosing the method, then the target, the Content-Type and the
// If-None-Match each ended by a line feed, then the body.
//
// Invariants:
// - nothing a client sends gets a 5xx (a 503 only when memory runs out, which the
//   fuzzer's limit turns into a finding of its own);
// - every error is a JSON body {"error": "...", "code": "..."} of printable ASCII, with no-store;
// - every 200 of /render is a PNG with a strong tag, and the same request asked with
//   that tag in If-None-Match gets 304 with the same tag;
// - options that read give a margin within 0..100; a query that fails says why;
// - a Transfer-Encoding is read as chunked, as none, or refused with 400 or 501 and why;
// - what Printable gives a message or a log is printable ASCII.

#include <string>
#include <utility>

#include "server/etag.h"
#include "server/request.h"
#include "server/routes.h"
#include "tests/fuzz/fuzz_check.h"

namespace quarvel {
namespace {

bool IsPrintableAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
    return true;
}

// The answer to one whole request, drawn on this thread, as a connection gets it.
server::HttpResponse Answer(server::HttpRequest request, const server::ServiceSettings& settings) {
    server::Routed routed = server::Route(std::move(request), settings);
    return routed.drawing ? server::Draw(std::move(*routed.drawing), settings) : std::move(routed.answer);
}

void CheckAnswer(const server::HttpRequest& request, const server::ServiceSettings& settings) {
    using server::HttpResponse;
    const HttpResponse r = Answer(request, settings);
    FUZZ_CHECK(r.status < 500);
    if (r.status >= 400) {
        FUZZ_CHECK(r.body.starts_with("{\"error\": \"") && r.body.ends_with("\"}\n"));
        FUZZ_CHECK(r.body.find("\", \"code\": \"") != std::string::npos);
        FUZZ_CHECK(IsPrintableAscii(std::string_view(r.body).substr(0, r.body.size() - 1)));
        FUZZ_CHECK(r.Header("Cache-Control") && *r.Header("Cache-Control") == "no-store");
        return;
    }
    const std::string_view path = std::string_view(request.target).substr(0, request.target.find('?'));
    if (path != "/render" || r.status != 200 || request.method == "OPTIONS") return;
    FUZZ_CHECK(r.body.starts_with("\x89PNG\r\n\x1a\n"));
    const std::string* tag = r.Header("ETag");
    FUZZ_CHECK(tag && tag->size() == 37 && tag->starts_with("\"q1-"));
    server::HttpRequest again = request;
    again.ifNoneMatch = *tag;
    const HttpResponse cached = Answer(again, settings);
    FUZZ_CHECK(cached.status == 304 && cached.body.empty());
    FUZZ_CHECK(cached.Header("ETag") && *cached.Header("ETag") == *tag);
}

}  // namespace
}  // namespace quarvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarvel;
    fuzz::FieldReader input(fuzz::AsText(data, size));
    static const char* const kMethods[] = {"GET", "POST", "HEAD", "OPTIONS", "PUT"};
    server::HttpRequest request;
    request.method = kMethods[input.Byte() % 5];
    request.target = std::string(input.Until('\n'));
    const std::string_view type = input.Until('\n');
    if (!type.empty()) request.contentType = std::string(type);
    const std::string_view match = input.Until('\n');
    if (!match.empty()) request.ifNoneMatch = std::string(match);
    request.body = std::string(input.rest());

    // The pieces alone.
    const std::string_view target = request.target;
    const std::size_t question = target.find('?');
    const auto pairs = server::ParseQuery(question == std::string_view::npos ? target : target.substr(question + 1));
    if (pairs) {
        const auto picture = server::ReadPictureRequest(*pairs.value);
        if (picture)
            FUZZ_CHECK(picture.value->art.look.margin >= 0 && picture.value->art.look.margin <= 100);
        else
            FUZZ_CHECK(!picture.error.empty());
    } else {
        FUZZ_CHECK(pairs.error.starts_with("bad percent-encoding"));
    }
    if (const auto media = server::ParseMediaType(type)) {
        FUZZ_CHECK(media->type.find('/') != std::string::npos);
        FUZZ_CHECK(IsPrintableAscii(media->unknownCharset));
    }
    server::IfNoneMatchMatches(match, "\"q1-0123456789abcdef0123456789abcdef\"");
    server::AcceptedLanguage(type);
    if (const auto address = server::ParseListenAddress(target)) FUZZ_CHECK(!address.value->host.empty());
    if (const auto bytes = server::ParseByteSize(type, 1, 16u << 20)) FUZZ_CHECK(*bytes >= 1 && *bytes <= 16u << 20);
    if (const auto coding = server::ReadTransferEncoding(type); !coding)
        FUZZ_CHECK((coding.status == 400 || coding.status == 501) && IsPrintableAscii(coding.error));
    FUZZ_CHECK(IsPrintableAscii(server::Printable(request.body)));
    FUZZ_CHECK(IsPrintableAscii(server::LoggedPath(target)));

    // The whole answer. (No processor-time limit that a slow, instrumented run could
    // reach: the fuzzer's own timeout finds what takes too long.)
    const server::ServiceSettings settings{"quarvel-server fuzz", 4096, std::chrono::minutes(1)};
    CheckAnswer(request, settings);
    return 0;
}
