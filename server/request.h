#pragma once
// What the service reads from a request as text, apart from HTTP itself (which the
// HTTP library parses): the query string and its options, the body's media type and
// character set, If-None-Match, and the command line's address and sizes. Pure
// functions over bytes, so that they can be tested and fuzzed alone.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/language.h"
#include "render/png_writer.h"
#include "render/text_art.h"

namespace quarvel::server {

// What went wrong, for a script: the `code` of every JSON error, beside its message.
// The names (ErrorCodeName) are part of the service's interface and never change;
// docs/SERVER.md lists them.
enum class ErrorCode {
    badParameter,       // "bad-parameter": an option or the query cannot be read
    missingText,        // "missing-text": GET /render without ?text=
    notDecodable,       // "not-decodable": the art is not in the encoding it is read in
    notText,            // "not-text": a body that is not text/plain
    unknownCharset,     // "unknown-charset": a charset the service does not read
    tooLarge,           // "too-large": more bytes than the service takes
    noSuchPath,         // "no-such-path"
    methodNotAllowed,   // "method-not-allowed"
    timeout,            // "timeout": the request came too slowly
    headTooLarge,       // "head-too-large": request line, headers and trailers over their limit
    badHttp,            // "bad-http": HTTP that cannot be read
    badTransferCoding,  // "bad-transfer-coding": a Transfer-Encoding other than chunked
    busy,               // "busy": no room for the request now
    cpuLimit,           // "cpu-limit": the picture needs more processor time than it may take
    outOfMemory,        // "out-of-memory"
    internal,           // "internal": a fault of the service
};
const char* ErrorCodeName(ErrorCode code);

// A result, or a message that says what was wrong, the status of its answer and its code.
template <typename T>
struct Parsed {
    std::optional<T> value;
    std::string error;  // set when value is not
    int status = 400;
    ErrorCode code = ErrorCode::badParameter;

    static Parsed Fail(std::string message, int status = 400, ErrorCode code = ErrorCode::badParameter) {
        return {std::nullopt, std::move(message), status, code};
    }
    explicit operator bool() const { return value.has_value(); }
};

// One name=value pair of a query string, both percent-decoded ('+' is a space).
struct QueryPair {
    std::string name;
    std::string value;
    bool hasValue = false;  // "name=..." rather than "name" alone
};

// Splits and decodes a query string (what follows '?', without the '#...'). A '%' not
// followed by two hexadecimal digits is an error.
Parsed<std::vector<QueryPair>> ParseQuery(std::string_view query);

// The text encodings a request may name; `automatic` is UTF-8 when the bytes are.
enum class Charset { utf8, cp932, automatic };

// What the query asks of a picture: the options of `quarvel-cli render`, named as
// its options are, with the art of GET in `text`.
struct PictureRequest {
    render::TextArtOptions art;  // encoding stays as the request left it until the body's type is known
    render::PngForm form = render::PngForm::rgb;
    std::optional<Charset> encoding;  // the query's `encoding`, when given
    std::optional<std::string> text;  // the query's `text`, when given
};

// Reads the options of /render from the query's pairs; the last of a repeated option
// counts, as on the command line. An unknown name or a bad value is an error.
Parsed<PictureRequest> ReadPictureRequest(const std::vector<QueryPair>& pairs);

// A Content-Type header: its media type (lower case) and charset parameter.
struct MediaType {
    std::string type;                // "text/plain"
    std::optional<Charset> charset;  // a charset the service reads, when one is named
    std::string unknownCharset;      // the charset named, when the service does not read it
};
// Parses "type/subtype; name=value; ..." (values may be quoted); nothing when the header
// is not of that form.
std::optional<MediaType> ParseMediaType(std::string_view header);

// The charsets a request may name for code page 932 and for UTF-8, in any case.
std::optional<Charset> CharsetNamed(std::string_view name);

// Whether an If-None-Match header matches the entity tag `etag` (quoted, strong), by
// the weak comparison HTTP asks for it: "*", or a listed tag with the same opaque part.
bool IfNoneMatchMatches(std::string_view header, std::string_view etag);

// The page's language for an Accept-Language header (empty when there is none): the
// listed language of the highest weight, the first of equals, is Japanese for "ja"
// and "*", English for any other; Japanese when none is listed or acceptable. Entries
// that cannot be read are passed over. One pass, without allocating: the header is as
// long as the head's limit allows.
platform::Language AcceptedLanguage(std::string_view header);

// A request's Transfer-Encoding, its fields' values joined by commas (empty when it
// has none): whether the body is chunked. A last coding other than chunked leaves the
// body's end unknown (400); a coding before chunked is one the service does not undo
// (501). Either way the connection must end, as what follows cannot be read.
Parsed<bool> ReadTransferEncoding(std::string_view header);

// A request's Host fields (their values, as sent) for HTTP version `version` (11 for
// HTTP/1.1): HTTP/1.1 asks for exactly one, any request for at most one, and its value is
// a host with an optional port (or empty). Otherwise a 400.
Parsed<bool> ReadHost(unsigned version, const std::vector<std::string_view>& values);

// The request-target in origin form ("/render?x"): an absolute-form one
// ("http://host:8080/render?x", as a proxy sends it, and a server must take) without its
// scheme and authority, "/" when it has no path; any other as it is.
std::string OriginForm(std::string_view target);

// --listen ADDR:PORT: a numeric IPv4 address or a bracketed IPv6 one ("[::1]:8080"),
// "localhost", or "*" (every address); the port 0 to 65535 (0: any free one).
struct ListenAddress {
    std::string host;  // numeric, as the HTTP library takes it; "0.0.0.0" or "::" for every address
    std::uint16_t port = 0;
};
Parsed<ListenAddress> ParseListenAddress(std::string_view text);

// A size with an optional K or M suffix (1024 and 1024 * 1024 bytes) within [lo, hi].
std::optional<std::size_t> ParseByteSize(std::string_view text, std::size_t lo, std::size_t hi);

// Bytes a client sent, safe to put into a message or a log line: printable ASCII as it
// is, anything else as \xNN, at most `limit` bytes of input (then "...").
std::string Printable(std::string_view bytes, std::size_t limit = 64);

}  // namespace quarvel::server
