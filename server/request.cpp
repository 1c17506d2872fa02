#include "server/request.h"

#include <algorithm>
#include <charconv>

#include "render/look_options.h"

namespace quarvel::server {

using render::PngForm;
using render::TextForm;
namespace look_options = render::look_options;

using platform::Color;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decodes one name or value; false at a '%' without two hexadecimal digits.
bool Unescape(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '+') {
            out += ' ';
        } else if (in[i] == '%') {
            const int hi = i + 1 < in.size() ? HexValue(in[i + 1]) : -1;
            const int lo = i + 2 < in.size() ? HexValue(in[i + 2]) : -1;
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += in[i];
        }
    }
    return true;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

// The text of `rest` up to the first `separator`, taken off `rest` with the separator.
std::string_view NextItem(std::string_view& rest, char separator) {
    const std::size_t at = rest.find(separator);
    const std::string_view item = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
    return item;
}

// A switch's value: present alone or 1/true/on/yes, or 0/false/off/no.
std::optional<bool> Switch(const QueryPair& pair) {
    if (!pair.hasValue) return true;
    const std::string v = Lower(pair.value);
    if (v.empty() || v == "1" || v == "true" || v == "on" || v == "yes") return true;
    if (v == "0" || v == "false" || v == "off" || v == "no") return false;
    return std::nullopt;
}

// A token of HTTP (RFC 9110): the characters a media type and a parameter name have.
bool IsTokenChar(unsigned char c) {
    return c > 0x20 && c < 0x7F &&
           std::string_view("\"(),/:;<=>?@[\\]{}").find(static_cast<char>(c)) == std::string_view::npos;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return IsTokenChar(c); });
}

}  // namespace

Parsed<std::vector<QueryPair>> ParseQuery(std::string_view query) {
    std::vector<QueryPair> pairs;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view part = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (part.empty()) continue;
        const std::size_t eq = part.find('=');
        QueryPair pair;
        pair.hasValue = eq != std::string_view::npos;
        if (!Unescape(part.substr(0, eq), pair.name) || (pair.hasValue && !Unescape(part.substr(eq + 1), pair.value)))
            return Parsed<std::vector<QueryPair>>::Fail("bad percent-encoding in the query: '" + Printable(part) +
                                                        "' (a % needs two hexadecimal digits)");
        pairs.push_back(std::move(pair));
    }
    return {std::move(pairs), {}};
}

std::optional<Charset> CharsetNamed(std::string_view name) {
    const std::string n = Lower(name);
    for (const char* utf8 : {"utf-8", "utf8", "us-ascii", "ascii"})
        if (n == utf8) return Charset::utf8;
    for (const char* cp932 :
         {"shift_jis", "shift-jis", "sjis", "x-sjis", "cp932", "ms932", "windows-31j", "ms_kanji", "csshiftjis"})
        if (n == cp932) return Charset::cp932;
    if (n == "auto") return Charset::automatic;
    return std::nullopt;
}

Parsed<PictureRequest> ReadPictureRequest(const std::vector<QueryPair>& pairs) {
    namespace lo = look_options;
    using Result = Parsed<PictureRequest>;
    PictureRequest request;
    for (const QueryPair& pair : pairs) {
        const std::string& name = pair.name;
        const std::string shown = "'" + Printable(pair.value) + "'";
        if (name == lo::kBack && lo::IsNoBack(pair.value)) {
            request.art.look.transparentBack = true;
        } else if (name == lo::kFore || name == lo::kBack) {
            const std::optional<Color> colour = lo::ParseColor(pair.value);
            if (!colour)
                return Result::Fail(name + " " + std::string(name == lo::kBack ? lo::kBackNeeds : lo::kColorNeeds) +
                                    ", not " + shown);
            (name == lo::kFore ? request.art.look.textColor : request.art.look.backColor) = *colour;
            if (name == lo::kBack) request.art.look.transparentBack = false;
        } else if (name == lo::kMargin) {
            const std::optional<int> margin = lo::ParseMargin(pair.value);
            if (!margin) return Result::Fail(name + " " + lo::MarginNeeds() + ", not " + shown);
            request.art.look.margin = *margin;
        } else if (name == lo::kScale) {
            const std::optional<int> scale = lo::ParseScale(pair.value);
            if (!scale) return Result::Fail(name + " " + lo::ScaleNeeds() + ", not " + shown);
            request.art.look.scale = *scale;
        } else if (name == lo::kSpaceSim || name == lo::kNoSpaceSim || name == lo::kHtml || name == lo::kIndexed) {
            const std::optional<bool> on = Switch(pair);
            if (!on) return Result::Fail(name + " takes 1 or 0 (true or false, on or off), not " + shown);
            if (name == lo::kSpaceSim) request.art.look.collapseSpaces = *on;
            if (name == lo::kNoSpaceSim) request.art.look.collapseSpaces = !*on;
            if (name == lo::kHtml) request.art.form = *on ? TextForm::html : TextForm::plain;
            if (name == lo::kIndexed) request.form = *on ? PngForm::indexed : PngForm::rgb;
        } else if (name == lo::kEncoding) {
            request.encoding = CharsetNamed(pair.value);
            if (!request.encoding) return Result::Fail(name + " takes utf-8, cp932 or auto, not " + shown);
        } else if (name == "text") {
            request.text = pair.value;
        } else {
            return Result::Fail(
                "unknown option '" + Printable(name) +
                "'; the options are text, fore, back, margin, scale, space-sim, html, indexed and encoding");
        }
    }
    return {std::move(request), {}};
}

std::optional<MediaType> ParseMediaType(std::string_view header) {
    std::string_view rest = Trim(header);
    const std::size_t semi = rest.find(';');
    const std::string_view type = Trim(rest.substr(0, semi));
    const std::size_t slash = type.find('/');
    if (slash == std::string_view::npos || !IsToken(type.substr(0, slash)) || !IsToken(type.substr(slash + 1)))
        return std::nullopt;
    MediaType media;
    media.type = Lower(type);
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    while (!Trim(rest).empty()) {
        rest = Trim(rest);
        const std::size_t eq = rest.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const std::string_view name = Trim(rest.substr(0, eq));
        if (!IsToken(name)) return std::nullopt;
        rest = Trim(rest.substr(eq + 1));
        std::string value;
        if (!rest.empty() && rest.front() == '"') {
            std::size_t i = 1;
            for (; i < rest.size() && rest[i] != '"'; ++i) {
                if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
                value += rest[i];
            }
            if (i >= rest.size()) return std::nullopt;  // the quote is not closed
            rest = Trim(rest.substr(i + 1));
            if (!rest.empty() && rest.front() != ';') return std::nullopt;
        } else {
            const std::size_t end = rest.find(';');
            value = std::string(Trim(rest.substr(0, end)));
            if (!IsToken(value)) return std::nullopt;
            rest = rest.substr(std::min(end, rest.size()));
        }
        if (!rest.empty()) rest.remove_prefix(1);  // the ';'
        if (Lower(name) == "charset") {
            media.charset = CharsetNamed(value);
            if (media.charset == Charset::automatic) media.charset.reset();
            media.unknownCharset = media.charset ? std::string() : Printable(value, 40);
        }
    }
    return media;
}

bool IfNoneMatchMatches(std::string_view header, std::string_view etag) {
    // The opaque part of our tag, without the quotes.
    if (etag.size() < 2) return false;
    const std::string_view opaque = etag.substr(1, etag.size() - 2);
    std::string_view rest = header;
    while (!rest.empty()) {
        rest = Trim(rest);
        if (rest.empty()) break;
        if (rest.front() == ',') {
            rest.remove_prefix(1);
            continue;
        }
        if (rest.front() == '*') return true;
        if (rest.substr(0, 2) == "W/") rest.remove_prefix(2);
        if (rest.empty() || rest.front() != '"') return false;  // not a list of entity tags
        const std::size_t close = rest.find('"', 1);
        if (close == std::string_view::npos) return false;
        if (rest.substr(1, close - 1) == opaque) return true;
        rest.remove_prefix(close + 1);
    }
    return false;
}

const char* ErrorCodeName(ErrorCode code) {
    switch (code) {
    case ErrorCode::badParameter: return "bad-parameter";
    case ErrorCode::missingText: return "missing-text";
    case ErrorCode::notDecodable: return "not-decodable";
    case ErrorCode::notText: return "not-text";
    case ErrorCode::unknownCharset: return "unknown-charset";
    case ErrorCode::tooLarge: return "too-large";
    case ErrorCode::noSuchPath: return "no-such-path";
    case ErrorCode::methodNotAllowed: return "method-not-allowed";
    case ErrorCode::timeout: return "timeout";
    case ErrorCode::headTooLarge: return "head-too-large";
    case ErrorCode::badHttp: return "bad-http";
    case ErrorCode::badTransferCoding: return "bad-transfer-coding";
    case ErrorCode::busy: return "busy";
    case ErrorCode::cpuLimit: return "cpu-limit";
    case ErrorCode::outOfMemory: return "out-of-memory";
    case ErrorCode::internal: return "internal";
    }
    return "internal";
}

platform::Language AcceptedLanguage(std::string_view header) {
    using platform::Language;
    // A weight in thousandths: "1", "0.5", "0.125" (at most three decimals); -1 when it
    // is none, as "1.5", "-1", "0.1234" or "x".
    const auto weight = [](std::string_view q) {
        if (q.empty() || q.size() > 5 || (q[0] != '0' && q[0] != '1') || (q.size() > 1 && q[1] != '.')) return -1;
        int thousandths = (q[0] - '0') * 1000;
        for (std::size_t i = 2, scale = 100; i < q.size(); ++i, scale /= 10) {
            if (q[i] < '0' || q[i] > '9') return -1;
            thousandths += (q[i] - '0') * static_cast<int>(scale);
        }
        return thousandths <= 1000 ? thousandths : -1;
    };
    // "ja", "en-GB", "zh-Hant-TW", "*": letters, then parts of letters and digits.
    const auto isTag = [](std::string_view tag) {
        if (tag == "*") return true;
        if (tag.empty() || tag.back() == '-') return false;
        for (bool first = true; !tag.empty(); first = false) {
            const std::string_view part = NextItem(tag, '-');
            if (part.empty() || part.size() > 8) return false;
            for (const char c : part) {
                // ASCII alone, whatever the locale says of other bytes.
                const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
                if (!letter && (first || c < '0' || c > '9')) return false;
            }
        }
        return true;
    };
    Language chosen = Language::japanese;
    int best = 0;  // a weight of 0 is "not acceptable"
    for (std::string_view rest = header; !rest.empty();) {
        const std::string_view entry = NextItem(rest, ',');
        std::string_view params = entry;
        const std::string_view tag = Trim(NextItem(params, ';'));
        int q = 1000;
        while (!params.empty()) {
            const std::string_view param = Trim(NextItem(params, ';'));
            if (param.size() >= 2 && (param[0] | 0x20) == 'q' && param[1] == '=') q = weight(Trim(param.substr(2)));
        }
        if (q <= best || !isTag(tag)) continue;
        best = q;
        const bool japanese = tag == "*" || (tag.size() >= 2 && (tag[0] | 0x20) == 'j' && (tag[1] | 0x20) == 'a' &&
                                             (tag.size() == 2 || tag[2] == '-'));
        chosen = japanese ? Language::japanese : Language::english;
    }
    return chosen;
}

Parsed<bool> ReadTransferEncoding(std::string_view header) {
    std::vector<std::string> codings;
    for (std::string_view rest = header; !rest.empty();) {
        const std::string_view coding = Trim(NextItem(rest, ','));
        if (!coding.empty()) codings.push_back(Lower(coding));
    }
    if (codings.empty()) return {false, {}};
    if (codings.back() != "chunked")
        return Parsed<bool>::Fail("a Transfer-Encoding must end in chunked, else the body's end is not known, not '" +
                                      Printable(header) + "'",
                                  400, ErrorCode::badTransferCoding);
    if (codings.size() > 1)
        return Parsed<bool>::Fail("only the chunked transfer coding is read, not '" + Printable(header) + "'", 501,
                                  ErrorCode::badTransferCoding);
    return {true, {}};
}

Parsed<bool> ReadHost(unsigned version, const std::vector<std::string_view>& values) {
    using Result = Parsed<bool>;
    if (values.size() > 1)
        return Result::Fail("a request names its host once, not in " + std::to_string(values.size()) + " Host fields",
                            400, ErrorCode::badHttp);
    if (values.empty())
        return version >= 11
                   ? Result::Fail("an HTTP/1.1 request names its host in a Host field", 400, ErrorCode::badHttp)
                   : Result{false, {}};
    // uri-host [ ":" port ]: a name, an IPv4 address or a bracketed IPv6 one, which
    // hold only these.
    constexpr std::string_view kHostCharacters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$&'()*+,;=:[]%";
    if (values.front().find_first_not_of(kHostCharacters) != std::string_view::npos)
        return Result::Fail("a Host field names a host and a port, not '" + Printable(values.front()) + "'", 400,
                            ErrorCode::badHttp);
    return {true, {}};
}

std::string OriginForm(std::string_view target) {
    const std::size_t scheme = target.find("://");
    if (target.starts_with("/") || scheme == std::string_view::npos) return std::string(target);
    const std::string name = Lower(target.substr(0, scheme));
    if (name != "http" && name != "https") return std::string(target);
    const std::string_view rest = target.substr(scheme + 3);
    const std::size_t path = rest.find_first_of("/?");
    if (path == std::string_view::npos) return "/";
    return (rest[path] == '?' ? "/" : "") + std::string(rest.substr(path));
}

Parsed<ListenAddress> ParseListenAddress(std::string_view text) {
    using Result = Parsed<ListenAddress>;
    const std::string usage =
        "needs ADDRESS:PORT, such as 127.0.0.1:8080, [::1]:8080 or *:8080, not '" + Printable(text) + "'";
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return Result::Fail(usage);
    std::string_view host = text.substr(0, colon);
    const std::optional<int> port = look_options::ParseWholeNumber(text.substr(colon + 1), 0, 65535);
    if (!port) return Result::Fail(usage);
    ListenAddress address;
    address.port = static_cast<std::uint16_t>(*port);
    if (host == "*" || host.empty()) {
        address.host = "0.0.0.0";
    } else if (host == "localhost") {
        address.host = "127.0.0.1";
    } else if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        if (host.empty() ||
            !std::all_of(host.begin(), host.end(), [](char c) { return HexValue(c) >= 0 || c == ':' || c == '.'; }))
            return Result::Fail(usage);
        address.host = std::string(host);
    } else {
        if (host.find(':') != std::string_view::npos ||
            !std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }))
            return Result::Fail(usage);
        address.host = std::string(host);
    }
    return {std::move(address), {}};
}

std::optional<std::size_t> ParseByteSize(std::string_view text, std::size_t lo, std::size_t hi) {
    std::size_t unit = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) unit = 1024;
    if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) unit = 1024 * 1024;
    if (unit != 1) text.remove_suffix(1);
    std::size_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value > hi / unit) return std::nullopt;
    value *= unit;
    if (value < lo) return std::nullopt;
    return value;
}

std::string Printable(std::string_view bytes, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (bytes.size() > limit) out += "...";
    return out;
}

}  // namespace quarvel::server
