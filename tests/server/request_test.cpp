// What quarvel-server reads from requests as text, tested without a network: the query
// and its options, media types, If-None-Match, the command line's address and sizes,
// tags and JSON.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "platform/codec.h"
#include "server/etag.h"
#include "server/request.h"
#include "server/routes.h"
#include "support/test_support.h"

namespace quarvel::server {

using render::Appearance;
using render::PngForm;
using render::TextArtOptions;
using render::TextEncoding;
using render::TextForm;

using platform::Color;

namespace {

std::string Joined(const std::vector<QueryPair>& pairs) {
    std::string out;
    for (const QueryPair& p : pairs) out += "[" + p.name + (p.hasValue ? "=" + p.value : "") + "]";
    return out;
}

TEST(ServerRequest, QueryStringsDecodeOrSayWhy) {
    struct Case {
        const char* query;
        const char* pairs;  // nullptr: an error
    };
    const Case cases[] = {
        {"", ""},
        {"a=1&b=2", "[a=1][b=2]"},
        {"&&a&b=", "[a][b=]"},
        {"text=%E2%99%A5+%3C%26%3E", "[text=\xE2\x99\xA5 <&>]"},
        {"t%65xt=a%2Bb", "[text=a+b]"},
        {"x=%00y", nullptr},  // replaced below: NUL is a byte like any other
        {"x=%", nullptr},
        {"x=%4", nullptr},
        {"x=%zz", nullptr},
        {"%=1", nullptr},
        {"x=100%", nullptr},
        {"a==b", "[a==b]"},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseQuery(c.query);
        if (std::string_view(c.query) == "x=%00y") {
            ASSERT_TRUE(parsed) << c.query;
            EXPECT_EQ(parsed.value->at(0).value, std::string("\0y", 2));
            continue;
        }
        if (!c.pairs) {
            EXPECT_FALSE(parsed) << c.query;
            EXPECT_NE(parsed.error.find("bad percent-encoding"), std::string::npos) << parsed.error;
            continue;
        }
        ASSERT_TRUE(parsed) << c.query << ": " << parsed.error;
        EXPECT_EQ(Joined(*parsed.value), c.pairs) << c.query;
    }
}

TEST(ServerRequest, OptionsAreTheCommandLinesAndTheLastCounts) {
    auto read = [](const char* query) { return ReadPictureRequest(*ParseQuery(query).value); };

    const auto defaults = read("");
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults.value->art.look, Appearance{});
    EXPECT_EQ(defaults.value->art.form, TextForm::plain);
    EXPECT_EQ(defaults.value->form, PngForm::rgb);
    EXPECT_FALSE(defaults.value->text);

    const auto all = read(
        "fore=%23FF0000&back=00ff80&margin=100&space-sim=0&html&indexed=true&encoding=Shift_JIS&"
        "text=a&margin=7");
    ASSERT_TRUE(all) << all.error;
    const PictureRequest& r = *all.value;
    EXPECT_EQ(r.art.look.textColor, (Color{255, 0, 0}));
    EXPECT_EQ(r.art.look.backColor, (Color{0, 255, 128}));
    EXPECT_EQ(r.art.look.margin, 7);  // the last of a repeated option
    EXPECT_FALSE(r.art.look.collapseSpaces);
    EXPECT_EQ(r.art.form, TextForm::html);
    EXPECT_EQ(r.form, PngForm::indexed);
    EXPECT_EQ(r.encoding, Charset::cp932);
    EXPECT_EQ(r.text, "a");
    EXPECT_FALSE(read("no-space-sim").value->art.look.collapseSpaces);
    EXPECT_TRUE(read("no-space-sim=0").value->art.look.collapseSpaces);
    EXPECT_EQ(read("indexed=off").value->form, PngForm::rgb);
    EXPECT_EQ(read("scale=4").value->art.look.scale, 4);
    EXPECT_TRUE(read("back=None").value->art.look.transparentBack);
    EXPECT_FALSE(read("back=none&back=FFFFFF").value->art.look.transparentBack);  // the last counts

    const std::pair<const char*, const char*> bad[] = {
        {"fore=red", "fore needs a colour as RRGGBB, such as FF0000 for red, not 'red'"},
        {"back=FFFFFFF", "back needs a colour"},
        {"margin=101", "margin needs a number from 0 to 100, not '101'"},
        {"margin=-1", "margin needs a number from 0 to 100"},
        {"margin=", "margin needs a number"},
        {"scale=5", "scale needs a number from 1 to 4, not '5'"},
        {"scale=0", "scale needs a number from 1 to 4"},
        {"back=transparent", "back needs a colour as RRGGBB, such as FF0000 for red, or none for a transparent"},
        {"space-sim=maybe", "space-sim takes 1 or 0"},
        {"encoding=euc-jp", "encoding takes utf-8, cp932 or auto, not 'euc-jp'"},
        {"Margin=1", "unknown option 'Margin'"},
        {"font=/etc/passwd", "unknown option 'font'"},
        {"%FF%00=1", "unknown option '\\xFF\\x00'"},
    };
    for (const auto& [query, error] : bad) {
        const auto parsed = read(query);
        EXPECT_FALSE(parsed) << query;
        EXPECT_NE(parsed.error.find(error), std::string::npos) << query << ": " << parsed.error;
    }
}

TEST(ServerRequest, MediaTypesAndTheirCharsets) {
    struct Case {
        const char* header;
        bool parses;
        const char* type;
        std::optional<Charset> charset;
        const char* unknown;
    };
    const Case cases[] = {
        {"text/plain", true, "text/plain", std::nullopt, ""},
        {"Text/Plain; Charset=UTF-8", true, "text/plain", Charset::utf8, ""},
        {"text/plain;charset=\"shift_jis\"", true, "text/plain", Charset::cp932, ""},
        {"text/plain; format=flowed; charset=windows-31j", true, "text/plain", Charset::cp932, ""},
        {"text/plain; charset=CP932 ", true, "text/plain", Charset::cp932, ""},
        {"text/plain; charset=euc-jp", true, "text/plain", std::nullopt, "euc-jp"},
        {"text/plain; charset=auto", true, "text/plain", std::nullopt, "auto"},
        {"application/x-www-form-urlencoded", true, "application/x-www-form-urlencoded", std::nullopt, ""},
        {"text/plain; charset=\"a\\\"b\"", true, "text/plain", std::nullopt, "a\\x22b"},
        {"", false, "", std::nullopt, ""},
        {"text", false, "", std::nullopt, ""},
        {"text/", false, "", std::nullopt, ""},
        {"text/plain; charset", false, "", std::nullopt, ""},
        {"text/plain; charset=\"utf-8", false, "", std::nullopt, ""},
        {"text/plain; charset=\"utf-8\" x", false, "", std::nullopt, ""},
        {"te xt/plain", false, "", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const auto media = ParseMediaType(c.header);
        ASSERT_EQ(media.has_value(), c.parses) << c.header;
        if (!media) continue;
        EXPECT_EQ(media->type, c.type) << c.header;
        EXPECT_EQ(media->charset, c.charset) << c.header;
        EXPECT_EQ(media->unknownCharset, c.unknown) << c.header;
    }
}

TEST(ServerRequest, IfNoneMatchComparesTagsWeakly) {
    const std::string tag = "\"q1-abc\"";
    const std::pair<const char*, bool> cases[] = {
        {"\"q1-abc\"", true},
        {"W/\"q1-abc\"", true},
        {"\"x\", \"q1-abc\"", true},
        {"*", true},
        {"\"q1-ab\"", false},
        {"q1-abc", false},
        {"\"q1-abc", false},
        {"", false},
        {" , ,\"other\" ,W/\"q1-abc\"", true},
        {"\"q1-abcd\"", false},
    };
    for (const auto& [header, matches] : cases) EXPECT_EQ(IfNoneMatchMatches(header, tag), matches) << header;
}

TEST(ServerRequest, TransferEncodingsAreChunkedNoneOrRefused) {
    // status 0: read (chunked or not); else the refusal's status.
    const std::tuple<const char*, bool, int> cases[] = {
        {"", false, 0},
        {"chunked", true, 0},
        {" Chunked ", true, 0},
        {",chunked,", true, 0},
        {"gzip", false, 400},
        {"xchunked", false, 400},
        {"chunked, identity", false, 400},
        {"chunked,", true, 0},
        {"gzip, chunked", false, 501},
        {"chunked,chunked", false, 501},
    };
    for (const auto& [header, chunked, status] : cases) {
        const Parsed<bool> read = ReadTransferEncoding(header);
        EXPECT_EQ(read ? 0 : read.status, status) << header << ": " << read.error;
        if (read) {
            EXPECT_EQ(*read.value, chunked) << header;
        }
    }
}

TEST(ServerRequest, ListenAddressesAndSizes) {
    const std::tuple<const char*, const char*, int> good[] = {
        {"127.0.0.1:8080", "127.0.0.1", 8080},   {"[::1]:0", "::1", 0}, {"*:80", "0.0.0.0", 80}, {":80", "0.0.0.0", 80},
        {"localhost:65535", "127.0.0.1", 65535},
    };
    for (const auto& [text, host, port] : good) {
        const auto a = ParseListenAddress(text);
        ASSERT_TRUE(a) << text << ": " << a.error;
        EXPECT_EQ(a.value->host, host);
        EXPECT_EQ(a.value->port, port);
    }
    for (const char* text : {"8080", "127.0.0.1", "127.0.0.1:65536", "::1:80", "[::1:80", "host.example:80",
                             "127.0.0.1:-1", "[]:80", "127.0.0.1:8080x"})
        EXPECT_FALSE(ParseListenAddress(text)) << text;

    EXPECT_EQ(ParseByteSize("1M", 1, 16u << 20), 1u << 20);
    EXPECT_EQ(ParseByteSize("512k", 1, 16u << 20), 512u << 10);
    EXPECT_EQ(ParseByteSize("100", 1, 16u << 20), 100u);
    for (const char* text : {"", "0", "17M", "1G", "M", "1.5M", "-1", "99999999999999999999999K"})
        EXPECT_FALSE(ParseByteSize(text, 1, 16u << 20)) << text;
}

TEST(ServerRequest, TagsNameTextOptionsAndProgram) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    const TextArtOptions plain;
    const std::string tag = PictureTag("p 1", "art", plain, PngForm::rgb);
    EXPECT_EQ(tag.size(), 2 + 3 + 32u);
    EXPECT_EQ(tag.substr(0, 4), "\"q1-");
    EXPECT_EQ(tag, PictureTag("p 1", "art", plain, PngForm::rgb));
    TextArtOptions margin = plain, html = plain, cp932 = plain, colour = plain, scale = plain, clear = plain;
    margin.look.margin = 1;
    scale.look.scale = 2;
    clear.look.transparentBack = true;
    html.form = TextForm::html;
    cp932.encoding = TextEncoding::cp932;
    colour.look.backColor = Color{255, 255, 254};
    const std::string others[] = {
        PictureTag("p 2", "art", plain, PngForm::rgb),     PictureTag("p 1", "art ", plain, PngForm::rgb),
        PictureTag("p 1", "art", plain, PngForm::indexed), PictureTag("p 1", "art", margin, PngForm::rgb),
        PictureTag("p 1", "art", html, PngForm::rgb),      PictureTag("p 1", "art", cp932, PngForm::rgb),
        PictureTag("p 1", "art", colour, PngForm::rgb),    PictureTag("p 1a", "rt", plain, PngForm::rgb),
        PictureTag("p 1", "art", scale, PngForm::rgb),     PictureTag("p 1", "art", clear, PngForm::rgb),
    };
    for (const std::string& other : others) EXPECT_NE(other, tag);
}

TEST(ServerRequest, JsonAndLogsHoldOnlyPrintableText) {
    EXPECT_EQ(JsonString("a\"b\\c\n\x01\xE2\x99\xA5\xF0\x9F\x98\x80\xFF"),
              "\"a\\\"b\\\\c\\u000A\\u0001\\u2665\\uD83D\\uDE00\\u00FF\"");
    EXPECT_EQ(LoggedPath("/render?text=secret"), "/render");
    EXPECT_EQ(LoggedPath("/a\x1b[31m b"), "/a\\x1B[31m b");
    EXPECT_EQ(Printable(std::string(100, 'x'), 4), "xxxx...");
}

// The text a JSON string holds between its quotes, as UTF-8 (the escapes JSON has, as
// a reader would take them).
std::string JsonText(std::string_view quoted) {
    std::u16string text;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != '\\' || i + 1 == quoted.size()) {
            text += static_cast<char16_t>(static_cast<unsigned char>(quoted[i]));
        } else if (quoted[++i] == 'u') {
            text += static_cast<char16_t>(std::stoi(std::string(quoted.substr(i + 1, 4)), nullptr, 16));
            i += 4;
        } else {
            text += static_cast<char16_t>(quoted[i] == 'n' ? '\n' : quoted[i]);
        }
    }
    return platform::cp932::Utf16ToUtf8(text);
}

// A failure of drawing is answered by its kind, in the words the other fronts use.
TEST(ServerRequest, FailuresAreAnsweredByTheirKind) {
    using What = Failure::What;
    const struct {
        Failure failure;
        int status;
        std::string says;
        const char* code;
    } cases[] = {
        {{What::outOfMemory}, 503, "out of memory", "out-of-memory"},
        {{What::tooLarge}, 400, "file too large", "too-large"},
        {{What::unexpected, {}, 0, "a picture without pixels"},
         500,
         "unexpected error: a picture without pixels",
         "internal"},
        {{What::notWritten, {}, ENOSPC}, 500, "could not write the file: No space left on device", "internal"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FailureText(c.failure), c.says);
        const HttpResponse r = FailureAnswer(c.failure);
        EXPECT_EQ(r.status, c.status) << c.says;
        const std::string more = c.status == 503 ? "; try again later" : "";
        const std::string start = "{\"error\": \"", end = std::string("\", \"code\": \"") + c.code + "\"}\n";
        ASSERT_TRUE(r.body.starts_with(start) && r.body.ends_with(end)) << r.body;
        EXPECT_EQ(JsonText(std::string_view(r.body).substr(start.size(), r.body.size() - start.size() - end.size())),
                  c.says + more);
        EXPECT_EQ(r.Header("Retry-After") != nullptr, c.status == 503) << c.says;
    }
}

// Scripts learn what the codes mean from docs/SERVER.md: each is in its table.
TEST(ServerRequest, EveryErrorCodeIsDocumented) {
    const std::string doc = test::ReadFile(QUARVEL_SOURCE_DIR "/docs/SERVER.md");
    for (int i = 0; i <= static_cast<int>(ErrorCode::internal); ++i) {
        const std::string row = std::string("| `") + ErrorCodeName(static_cast<ErrorCode>(i)) + "` |";
        EXPECT_NE(doc.find(row), std::string::npos) << row;
    }
}

// The page's language from Accept-Language: the weights count, the first of equals
// wins, and what cannot be read is passed over rather than taken.
TEST(ServerRequest, PageLanguageFollowsAcceptLanguage) {
    using platform::Language;
    constexpr Language ja = Language::japanese, en = Language::english;
    const struct {
        std::string header;
        Language language;
    } cases[] = {
        {"", ja},
        {"ja", ja},
        {"ja-JP,ja;q=0.9,en;q=0.8", ja},
        {"JA-jp", ja},
        {"en-US,en;q=0.9", en},
        {"fr-FR, ja;q=0.9", en},  // another language first: English, the translation
        {"en;q=0.5, ja;q=0.8", ja},
        {"ja;q=0.8, en;q=0.8", ja},
        {"de;q=0.8, ja;q=0.8", en},
        {"ja;q=0, en", en},
        {"en;q=0", ja},  // nothing acceptable: the page's own
        {"*", ja},
        {"*;q=0.1, en;q=0.2", en},
        {"java, jam", en},  // not "ja"
        {" en ; q=1.000 ", en},
        {"en;Q=0.9;level=1, ja;q=0.5", en},
        // Weights that are none: the entry is passed over.
        {"en;q=2, ja;q=0.1", ja},
        {"en;q=1.5, ja;q=0.1", ja},
        {"en;q=-1, ja;q=0.1", ja},
        {"en;q=0.1234, ja;q=0.1", ja},
        {"en;q=, ja;q=0.1", ja},
        {"en;q=0x1, ja;q=0.1", ja},
        {"en;q=1e0, ja;q=0.1", ja},
        // Tags that are none.
        {"@@@, ja;q=0.1", ja},
        {"en-, ja;q=0.1", ja},
        {"-en, ja;q=0.1", ja},
        {"toolongtag, ja;q=0.1", ja},
        {"1en, ja;q=0.1", ja},
        {",,;;,=;q,", ja},
        {std::string("en\0GB, ja;q=0.1", 16), ja},
        {std::string(60000, ',') + "en", en},
        {std::string(60000, 'a') + ", en;q=0.5", en},
    };
    for (const auto& c : cases) EXPECT_EQ(AcceptedLanguage(c.header), c.language) << Printable(c.header);
    // Thousands of entries, as many as a head may hold, take no longer than their bytes.
    std::string many;
    for (int i = 0; many.size() < 65000; ++i)
        many += "de-x" + std::to_string(i) + ";q=0." + std::to_string(i % 999) + ",";
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(AcceptedLanguage(many), en);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace quarvel::server
