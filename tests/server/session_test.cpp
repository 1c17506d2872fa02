// quarvel-server's connections under clients that misbehave: no client keeps the
// others out, whether by connections that send nothing, bodies that never come, or
// pictures that cost much to draw. Each test runs the attack, asks /healthz and a
// small picture from another client meanwhile, and again once the attack stops.

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codec.h"
#include "server_client.h"

namespace quarvel {
namespace {

using namespace test::server;

// Another client than the attack's, which comes from 127.0.0.2.
constexpr const char* kAttacker = "127.0.0.2";

// As many open files as this process may have: the attacks hold thousands of connections.
void RaiseOpenFileLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// /healthz and a small picture, each on a new connection, as another client asks them.
void ExpectOthersServed(const Server& server, const std::string& when) {
    SCOPED_TRACE(when);
    const Answer health = server.Ask("GET", "/healthz");
    EXPECT_EQ(health.status, 200) << health.body;
    const Answer picture = server.Post("/render", Examples("small.txt"));
    EXPECT_EQ(picture.status, 200) << picture.body;
    EXPECT_EQ(picture.Header("content-type"), "image/png");
}

TEST(ServerProgram, ConnectionsThatSendNothingKeepNoOneOut) {
    RaiseOpenFileLimit();
    Server server;
    ASSERT_GT(server.port(), 0) << server.Log();
    {
        // Twice --max-connections (1024) opened at once, never a byte sent: they used to
        // hold every place for the 75 s of the idle timeout.
        std::vector<Connection> silent;
        for (int i = 0; i < 2000; ++i) {
            silent.push_back(server.Connect(kAttacker));
            ASSERT_TRUE(silent.back().ok()) << i;
        }
        ExpectOthersServed(server, "while 2,000 connections say nothing");
        // The first were closed to make room for the later ones.
        EXPECT_TRUE(silent.front().Closed());
    }
    ExpectOthersServed(server, "once they are gone");
}

TEST(ServerProgram, BodiesThatNeverComeKeepNoOneOut) {
    Server server;
    ASSERT_GT(server.port(), 0) << server.Log();
    {
        // 260 requests that announce the largest body and send one byte: counted by what
        // they announced, they held the 256 MB that bodies may take.
        std::vector<Connection> slow;
        for (int i = 0; i < 260; ++i) {
            slow.push_back(server.Connect(kAttacker));
            slow.back().Send(
                "POST /render HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain\r\n"
                "Content-Length: 1048576\r\n\r\na");
        }
        ExpectOthersServed(server, "while 260 bodies stay unsent");
    }
    ExpectOthersServed(server, "once they are gone");
}

// Art of 6,400 characters that no font has, from `first` on (planes 4 to 13 have none
// assigned): each asked every face in turn, about a second of processor time a picture.
std::string Faceless(char32_t first) {
    std::string art;
    for (int line = 0; line < 50; ++line, art += '\n')
        for (char32_t c = first + line * 128; c < first + line * 128 + 128; ++c)
            art += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                    static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    return art;
}

TEST(ServerProgram, CostlyPicturesKeepNoOneOut) {
    Server server({"--threads", "1"});
    ASSERT_GT(server.port(), 0) << server.Log();
    // Four such pictures asked at once by one client: drawn on the network's thread,
    // they kept /healthz and everyone else waiting until all four were done.
    std::vector<Connection> costly;
    for (int i = 0; i < 4; ++i) {
        costly.push_back(server.Connect(kAttacker));
        const std::string art = Faceless(0x40000 + i * 0x10000);
        costly.back().Send("POST /render HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain\r\nContent-Length: " +
                           std::to_string(art.size()) + "\r\n\r\n" + art);
    }
    ExpectOthersServed(server, "while four costly pictures are drawn");
    // The others were answered before the last costly picture: they did not wait for all four.
    EXPECT_FALSE(costly.back().Readable()) << "the costly pictures were all drawn before the others were answered";
    for (Connection& c : costly) EXPECT_EQ(c.Read().status, 200);
    ExpectOthersServed(server, "once they are drawn");
}

// Text of `count` kanji of code page 932 that no earlier picture of the server has
// drawn: loading each glyph is the part of a picture that the processor-time limit counts.
std::string FreshKanji(int count) {
    std::string text;
    for (int lead = 0x88, n = 0; lead <= 0xEA && n < count; lead = lead == 0x9F ? 0xE0 : lead + 1) {
        for (int trail = 0x40; trail <= 0xFC && n < count; ++trail) {
            const std::string kanji{static_cast<char>(lead), static_cast<char>(trail)};
            if (!platform::cp932::DecodeOne(kanji).valid || (lead == 0x88 && trail < 0x9F)) continue;
            text += kanji;
            if (++n % 60 == 0) text += '\n';
        }
    }
    return text;
}

TEST(ServerProgram, APictureOverItsProcessorTimeIs503AndAskingAgainGoesOn) {
    Server server({"--cpu-limit", "1"});
    ASSERT_GT(server.port(), 0) << server.Log();
    const std::string art = FreshKanji(3000);
    const std::string type = "text/plain; charset=shift_jis";
    Answer a = server.Post("/render", art, type);
    EXPECT_EQ(a.status, 503);
    EXPECT_TRUE(a.IsJsonError()) << a.body;
    EXPECT_NE(a.body.find("more than 1 ms of processor time"), std::string::npos) << a.body;
    EXPECT_EQ(a.ErrorCode(), "cpu-limit");
    EXPECT_EQ(a.Header("retry-after"), "1");
    // Each try keeps the glyphs it loaded, at least one, so that the picture comes in the
    // end, however slow the machine.
    for (int tries = 0; tries < 3000 && a.status == 503; ++tries) a = server.Post("/render", art, type);
    ASSERT_EQ(a.status, 200) << a.body;
    EXPECT_TRUE(a.body == CliPicture(art, {"--encoding", "cp932"}));
}

}  // namespace
}  // namespace quarvel
