// quarvel-server end to end: the real program on an ephemeral port, spoken to over
// TCP as any client would, its pictures compared byte for byte with quarvel-cli's.

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "platform/codec.h"
#include "server_client.h"

namespace quarvel {

namespace cp932 = platform::cp932;

namespace {

using namespace test::server;
using namespace std::chrono_literals;

std::string PercentEncoded(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        out += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    return out;
}

class ServerEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new Server(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    static Server* server_;
};
Server* ServerEndToEnd::server_ = nullptr;

TEST_F(ServerEndToEnd, PicturesAreByteForByteTheCommandLines) {
    ASSERT_GT(server_->port(), 0) << server_->Log();
    const std::string small = Examples("small.txt"), medium = Examples("medium.txt");
    const std::string sjis = cp932::FromUtf16Lossy(cp932::Utf8ToUtf16(small));
    const std::string hearts = "  \xE2\x99\xA5 &hearts; <b>x</b><br>&#9829;\r\nend";
    struct Case {
        const char* name;
        std::string text;
        std::string query;
        std::string type;
        std::vector<std::string> cli;
    };
    const Case cases[] = {
        {"defaults", small, "", "text/plain; charset=utf-8", {}},
        {"look",
         medium,
         "?fore=%23CC0000&back=FFF8E0&margin=12&space-sim=0",
         "text/plain",
         {"--fore", "CC0000", "--back", "FFF8E0", "--margin", "12", "--no-space-sim"}},
        {"two colours",
         medium,
         "?indexed=1&fore=0000FF",
         "text/plain;charset=UTF-8",
         {"--indexed", "--fore", "0000FF"}},
        {"shift-jis", sjis, "?margin=3", "text/plain; charset=Shift_JIS", {"--encoding", "cp932", "--margin", "3"}},
        {"windows-31j", sjis, "", "text/plain; charset=windows-31j", {"--encoding", "cp932"}},
        {"html", hearts, "?html=1", "text/plain; charset=utf-8", {"--html"}},
        {"plain text of tags", hearts, "", "text/plain; charset=utf-8", {}},
        {"empty", "", "", "text/plain", {}},
        {"scale 2", medium, "?scale=2", "text/plain", {"--scale", "2"}},
        {"scale 3, two colours, no background",
         small,
         "?scale=3&indexed=1&back=none&fore=FFFFFF",
         "text/plain",
         {"--scale", "3", "--indexed", "--back", "none", "--fore", "FFFFFF"}},
        {"scale 4, no background", medium, "?back=none&scale=4", "text/plain", {"--back", "none", "--scale", "4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = CliPicture(c.text, c.cli);
        const Answer post = server_->Post("/render" + c.query, c.text, c.type);
        ASSERT_EQ(post.status, 200) << post.body;
        EXPECT_EQ(post.Header("content-type"), "image/png");
        EXPECT_TRUE(post.body == expected) << "the POST answer differs from quarvel-cli render's file";

        // GET takes the same art percent-encoded; for Shift-JIS bytes it says so.
        std::string query = c.query.empty() ? "?" : c.query + "&";
        query += "text=" + PercentEncoded(c.text);
        if (c.text == sjis) query += "&encoding=cp932";
        const Answer get = server_->Ask("GET", "/render" + query);
        ASSERT_EQ(get.status, 200) << get.body;
        EXPECT_TRUE(get.body == expected) << "the GET answer differs from quarvel-cli render's file";
        EXPECT_EQ(get.Header("etag"), post.Header("etag"));

        const Answer head = server_->Ask("HEAD", "/render" + query);
        EXPECT_EQ(head.status, 200);
        EXPECT_EQ(head.Header("content-length"), std::to_string(expected.size()));
        EXPECT_EQ(head.Header("etag"), get.Header("etag"));
    }

    // The report of what the picture leaves out, as the command line words it.
    std::string tall;
    for (int i = 0; i < 51; ++i) tall += "line\n";
    const Answer cut = server_->Post("/render", tall + "\xF0\x9F\xAB\xA8");
    ASSERT_EQ(cut.status, 200);
    EXPECT_NE(cut.Header("x-quarvel-report").find("\"linesCut\":true"), std::string::npos);
    EXPECT_NE(cut.Header("x-quarvel-report").find("only the first 50 are drawn"), std::string::npos);
    EXPECT_NE(cut.Header("x-quarvel-report").find("\"height\":900"), std::string::npos);
    // In the same words whatever the service's locale.
    const Server japanese({}, {"/usr/bin/env", "LC_ALL=ja_JP.UTF-8", "LANGUAGE="});
    EXPECT_EQ(japanese.Post("/render", tall + "\xF0\x9F\xAB\xA8").Header("x-quarvel-report"),
              cut.Header("x-quarvel-report"));
}

TEST_F(ServerEndToEnd, TagsLetCachesKeepPicturesForGood) {
    const Answer first = server_->Post("/render?margin=2", "(´・ω・`)");
    ASSERT_EQ(first.status, 200);
    const std::string tag = first.Header("etag");
    EXPECT_TRUE(std::regex_match(tag, std::regex("\"q1-[0-9a-f]{32}\""))) << tag;
    EXPECT_EQ(first.Header("cache-control"), "public, max-age=31536000, immutable");
    EXPECT_EQ(server_->Post("/render?margin=2", "(´・ω・`)").Header("etag"), tag);
    EXPECT_NE(server_->Post("/render?margin=3", "(´・ω・`)").Header("etag"), tag);
    EXPECT_NE(server_->Post("/render?margin=2", "(´・ω・`) ").Header("etag"), tag);

    for (const std::string& condition : {tag, "W/" + tag, "\"other\", " + tag, std::string("*")}) {
        SCOPED_TRACE(condition);
        const Answer again = server_->Ask("POST", "/render?margin=2", "(´・ω・`)",
                                          {"Content-Type: text/plain", "If-None-Match: " + condition});
        EXPECT_EQ(again.status, 304);
        EXPECT_EQ(again.body, "");
        EXPECT_EQ(again.Header("etag"), tag);
        EXPECT_EQ(again.Header("cache-control"), "public, max-age=31536000, immutable");
        EXPECT_EQ(again.Header("content-length"), "");
    }
    const Answer other = server_->Ask("GET", "/render?margin=2&text=x", {}, {"If-None-Match: " + tag});
    EXPECT_EQ(other.status, 200);
}

// Each error with its status, its message and its code, which scripts rely on.
TEST_F(ServerEndToEnd, EveryErrorIsJsonWithItsStatusAndCode) {
    struct Case {
        const char* name;
        std::string method, target, body;
        std::vector<std::string> headers;
        int status;
        const char* says;
        const char* code;
    };
    const Case cases[] = {
        {"unknown option", "GET", "/render?text=a&colour=red", "", {}, 400, "unknown option 'colour'", "bad-parameter"},
        {"bad margin",
         "GET",
         "/render?text=a&margin=1000",
         "",
         {},
         400,
         "margin needs a number from 0 to 100",
         "bad-parameter"},
        {"bad colour",
         "POST",
         "/render?fore=black",
         "a",
         {"Content-Type: text/plain"},
         400,
         "fore needs a colour",
         "bad-parameter"},
        {"bad percent", "GET", "/render?text=%E3%8", "", {}, 400, "bad percent-encoding", "bad-parameter"},
        {"no text", "GET", "/render?margin=1", "", {}, 400, "give the art as ?text=", "missing-text"},
        {"text in a POST",
         "POST",
         "/render?text=a",
         "b",
         {"Content-Type: text/plain"},
         400,
         "as its body",
         "bad-parameter"},
        {"not UTF-8",
         "POST",
         "/render",
         "\x82\xA0",
         {"Content-Type: text/plain; charset=utf-8"},
         400,
         "not UTF-8: byte 0",
         "not-decodable"},
        {"a picture",
         "POST",
         "/render",
         std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16),
         {"Content-Type: text/plain"},
         400,
         "not text but PNG picture; nothing drawn",
         "not-decodable"},
        {"not Shift-JIS",
         "POST",
         "/render",
         "ab\x81\x20",
         {"Content-Type: text/plain; charset=shift_jis"},
         400,
         "not Shift-JIS (code page 932): byte 2",
         "not-decodable"},
        {"charsets differ",
         "POST",
         "/render?encoding=utf-8",
         "a",
         {"Content-Type: text/plain; charset=cp932"},
         400,
         "differ",
         "bad-parameter"},
        {"form",
         "POST",
         "/render",
         "text=a",
         {"Content-Type: application/x-www-form-urlencoded"},
         415,
         "send the art as Content-Type: text/plain",
         "not-text"},
        {"bad media type", "POST", "/render", "a", {"Content-Type: ;;"}, 415, "send the art as", "not-text"},
        {"other charset",
         "POST",
         "/render",
         "a",
         {"Content-Type: text/plain; charset=euc-jp"},
         415,
         "charset 'euc-jp' is not read",
         "unknown-charset"},
        {"unknown path", "GET", "/render/", "", {}, 404, "no such path: /render/", "no-such-path"},
        {"wrong method",
         "DELETE",
         "/render",
         "",
         {},
         405,
         "this path takes GET, HEAD, POST, OPTIONS",
         "method-not-allowed"},
        {"POST to the page", "POST", "/", "x", {"Content-Type: text/plain"}, 405, "GET, HEAD", "method-not-allowed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Answer a = server_->Ask(c.method, c.target, c.body, c.headers);
        EXPECT_EQ(a.status, c.status) << a.body;
        EXPECT_TRUE(a.IsJsonError()) << a.body;
        EXPECT_NE(a.body.find(c.says), std::string::npos) << a.body;
        EXPECT_EQ(a.ErrorCode(), c.code) << a.body;
        EXPECT_EQ(a.Header("cache-control"), "no-store");
    }
    EXPECT_EQ(server_->Ask("DELETE", "/render").Header("allow"), "GET, HEAD, POST, OPTIONS");
}

TEST_F(ServerEndToEnd, HttpThatCannotBeReadIsAnsweredAndClosed) {
    const auto Repeated = [](const std::string& text, int times) {
        std::string out;
        for (int i = 0; i < times; ++i) out += text;
        return out;
    };
    const std::string kChunkedHead =
        "POST /render HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n";
    const std::string kChunked = kChunkedHead + "\r\n5\r\nhello\r\n0\r\n";
    const std::string kNext = "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        int status;
        const char* says;
        const char* code;
    };
    const Case cases[] = {
        {"huge header", "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(70000, 'a') + "\r\n\r\n", 431,
         "larger than 64 KB", "head-too-large"},
        {"huge target", "GET /render?text=" + std::string(70000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 431,
         "larger than 64 KB", "head-too-large"},
        {"garbage", "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 random bytes\r\n\r\n", 400, "malformed HTTP request",
         "bad-http"},
        {"bad version", "GET / HTTP/9.9\r\n\r\n", 400, "malformed HTTP request", "bad-http"},
        {"bad chunk", "POST /render HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 400,
         "malformed HTTP request", "bad-http"},
        {"over the body limit", "POST /render HTTP/1.1\r\nHost: x\r\nContent-Length: 2000000\r\n\r\n", 413,
         "larger than 1048576 bytes", "too-large"},
        {"chunks over the limit",
         "POST /render HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n100000\r\n" +
             std::string(0x100000, 'a') + "\r\n10\r\n" + std::string(16, 'a') + "\r\n0\r\n\r\n",
         413, "larger than 1048576 bytes", "too-large"},
        // A field of 65,534 bytes once made the parser throw, which ended the program.
        {"a trailer field too long for the parser", kChunked + "X-T: " + std::string(65534, 'a') + "\r\n\r\n", 431,
         "larger than 64 KB", "head-too-large"},
        // Trailers count with the head against its limit (they were taken in any number).
        {"trailers over the limit", kChunked + Repeated("X-T: " + std::string(1000, 'a') + "\r\n", 70) + "\r\n", 431,
         "larger than 64 KB", "head-too-large"},
        {"a head and trailers over the limit together",
         kChunkedHead + "X-H: " + std::string(40000, 'a') +
             "\r\n\r\n5\r\nhello\r\n0\r\nX-T: " + std::string(30000, 'a') + "\r\n\r\n",
         431, "larger than 64 KB", "head-too-large"},
        // A body whose end cannot be known: its bytes must not be read as another request.
        {"a coding after chunked", kChunkedHead.substr(0, kChunkedHead.size() - 2) + ", identity\r\n\r\n" + kNext, 400,
         "must end in chunked", "bad-transfer-coding"},
        {"gzip alone", "POST /render HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n" + kNext, 400,
         "must end in chunked", "bad-transfer-coding"},
        {"xchunked", "POST /render HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: xchunked\r\n\r\n" + kNext, 400,
         "must end in chunked", "bad-transfer-coding"},
        {"a coding before chunked",
         "POST /render HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n", 501,
         "only the chunked transfer coding", "bad-transfer-coding"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Connection connection = server_->Connect();
        connection.Send(c.bytes);
        const Answer a = connection.Read();
        EXPECT_EQ(a.status, c.status) << a.body;
        EXPECT_TRUE(a.IsJsonError()) << a.body;
        EXPECT_NE(a.body.find(c.says), std::string::npos) << a.body;
        EXPECT_EQ(a.ErrorCode(), c.code) << a.body;
        EXPECT_EQ(a.Header("connection"), "close");
        EXPECT_TRUE(connection.Closed());
        // The server goes on answering.
        EXPECT_EQ(server_->Ask("GET", "/healthz").status, 200);
    }
    // Trailers within the limit are read and change nothing the head said.
    Connection c = server_->Connect();
    c.Send(kChunkedHead + "\r\n3\r\n\xE3\x81\x82\r\n0\r\nContent-Type: text/plain; charset=shift_jis\r\n\r\n");
    const Answer drawn = c.Read();
    EXPECT_EQ(drawn.status, 200) << drawn.body;
    EXPECT_TRUE(drawn.body == CliPicture("\xE3\x81\x82", {})) << "the trailer changed how the body was read";
}

TEST_F(ServerEndToEnd, PageFilesHealthAndKeepAlive) {
    const Answer page = server_->Ask("GET", "/");
    ASSERT_EQ(page.status, 200);
    EXPECT_EQ(page.Header("content-type"), "text/html; charset=utf-8");
    EXPECT_NE(page.body.find("<html lang=\"ja\">"), std::string::npos);
    // The page in the language Accept-Language asks for, each with a tag of its own.
    EXPECT_EQ(page.Header("vary"), "Accept-Language");
    const Answer english = server_->Ask("GET", "/", {}, {"Accept-Language: fr, en;q=0.9, ja;q=0.8"});
    EXPECT_NE(english.body.find("<html lang=\"en\">"), std::string::npos);
    EXPECT_EQ(english.Header("vary"), "Accept-Language");
    EXPECT_NE(english.Header("etag"), page.Header("etag"));
    for (const Answer* a : {&page, &english}) {
        const std::vector<std::string> headers = {"If-None-Match: " + a->Header("etag"), "Accept-Language: en"};
        EXPECT_EQ(server_->Ask("GET", "/", {}, headers).status, a == &english ? 304 : 200);
    }
    const std::string policy = page.Header("content-security-policy");
    EXPECT_NE(policy.find("default-src 'none'"), std::string::npos);
    EXPECT_NE(policy.find("script-src 'self';"), std::string::npos);
    EXPECT_EQ(policy.find("unsafe"), std::string::npos);
    // No script or style in the page itself, nothing from elsewhere.
    EXPECT_FALSE(std::regex_search(page.body, std::regex("<script>|<script [^>]*>[^<]|<style|style=|\\son[a-z]+=")));
    EXPECT_FALSE(std::regex_search(page.body, std::regex("(src|href)=\"(https?:)?//")));

    const std::pair<const char*, const char*> files[] = {{"/app.js", "text/javascript; charset=utf-8"},
                                                         {"/app.css", "text/css; charset=utf-8"},
                                                         {"/favicon.svg", "image/svg+xml"}};
    for (const auto& [path, type] : files) {
        const Answer a = server_->Ask("GET", path);
        EXPECT_EQ(a.status, 200) << path;
        EXPECT_EQ(a.Header("content-type"), type);
        EXPECT_EQ(server_->Ask("GET", path, {}, {"If-None-Match: " + a.Header("etag")}).status, 304) << path;
    }
    const Answer health = server_->Ask("GET", "/healthz");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.body, "{\"status\": \"ok\"}\n");
    EXPECT_EQ(server_->Ask("HEAD", "/healthz").status, 200);

    const Answer options = server_->Ask("OPTIONS", "/render", {}, {"Origin: https://board.example"});
    EXPECT_EQ(options.status, 204);
    EXPECT_EQ(options.Header("access-control-allow-origin"), "*");

    // Three requests on one connection, two of them sent together.
    Connection c = server_->Connect();
    c.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(c.Read().status, 200);
    c.Send(
        "GET /render?text=a HTTP/1.1\r\nHost: x\r\n\r\nPOST /render HTTP/1.1\r\nHost: x\r\nContent-Length: 1\r\n"
        "Expect: 100-continue\r\n\r\nb");
    const Answer a = c.Read(), b1 = c.Read();
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.Header("content-type"), "image/png");
    // The server says 100 Continue first, then the picture.
    EXPECT_EQ(b1.status, 100);
    EXPECT_EQ(c.Read().status, 200);
}

}  // namespace
}  // namespace quarvel
