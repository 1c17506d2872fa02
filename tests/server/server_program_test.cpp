// quarvel-server as a program among others: slow, idle and random clients, its limits and
// timeouts, memory that runs out, its log and its command line.

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "server_client.h"

namespace quarvel {
namespace {

using namespace test::server;
using namespace std::chrono_literals;

TEST(ServerProgram, SlowAndIdleClientsDoNotStarveOthers) {
    Server server({"--threads", "1", "--request-timeout", "30"});
    ASSERT_GT(server.port(), 0) << server.Log();
    std::vector<Connection> idle;
    for (int i = 0; i < 500; ++i) {
        idle.push_back(server.Connect());
        ASSERT_TRUE(idle.back().ok()) << i;
    }
    // Slow loris: requests that never end, a few bytes at a time.
    std::vector<Connection> slow;
    for (int i = 0; i < 50; ++i) {
        slow.push_back(server.Connect());
        slow.back().Send("POST /render HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n");
    }
    for (int round = 0; round < 3; ++round) {
        for (Connection& s : slow) s.Send("a");
        const auto start = Clock::now();
        const Answer a = server.Ask("POST", "/render", Examples("small.txt"), {"Content-Type: text/plain"});
        const auto ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        EXPECT_EQ(a.status, 200);
        std::printf("a new request among 500 idle and 50 slow connections: %.1f ms\n", ms);
    }
}

TEST(ServerProgram, LimitsAndTimeoutsEndTheirConnections) {
    Server server({"--max-connections", "3", "--header-timeout", "1", "--request-timeout", "2", "--idle-timeout", "1",
                   "--max-body", "1K"});
    ASSERT_GT(server.port(), 0) << server.Log();
    {
        std::vector<Connection> held;
        for (int i = 0; i < 3; ++i) held.push_back(server.Connect());
        // The first has sent a head (the 100 Continue says that the server read it) and no body.
        held[0].Send("POST /render HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nExpect: 100-continue\r\n\r\n");
        ASSERT_EQ(held[0].Read().status, 100);
        // A fourth takes the place of the connection that began longest ago: the first,
        // whose request gets 503.
        Connection fourth = server.Connect();
        ASSERT_TRUE(fourth.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n"));
        const Answer busy = held[0].Read();
        EXPECT_EQ(busy.status, 503);
        EXPECT_TRUE(busy.IsJsonError()) << busy.body;
        EXPECT_EQ(busy.ErrorCode(), "busy");
        EXPECT_EQ(busy.Header("retry-after"), "1");
        EXPECT_EQ(fourth.Read().status, 200);
        // Connections that send nothing are closed after the header timeout, a kept-alive
        // one after the idle timeout, without a word.
        EXPECT_TRUE(held[1].Closed());
        EXPECT_TRUE(held[2].Closed());
        EXPECT_TRUE(fourth.Closed());
    }
    // A head that stops half-way gets 408 after the header timeout; a body, after the
    // request timeout.
    const std::pair<const char*, const char*> halves[] = {
        {"GET /healthz HTTP/1.1\r\n", "the request's head did not arrive within 1 s"},
        {"POST /render HTTP/1.1\r\nHost: x\r\nContent-Length: 10\r\n\r\nabc", "the request did not arrive within 2 s"},
    };
    for (const auto& [half, says] : halves) {
        Connection c = server.Connect();
        c.Send(half);
        const Answer timeout = c.Read();
        EXPECT_EQ(timeout.status, 408);
        EXPECT_NE(timeout.body.find(says), std::string::npos) << timeout.body;
    }
    // Then there is room again, once the server has seen those connections close.
    test::WaitUntil([&] { return server.Ask("GET", "/healthz").status == 200; },
                    "no room for a new connection after the slow ones ended", 10s, 10ms);
    // --max-body counts.
    const Answer large = server.Post("/render", std::string(1025, 'a'));
    EXPECT_EQ(large.status, 413);
    EXPECT_NE(large.body.find("larger than 1024 bytes"), std::string::npos);
    // (Until the server has seen the 413's connection close, a new one may still be one too many.)
    Answer fits;
    test::WaitUntil(
        [&] {
            fits = server.Post("/render", std::string(1024, 'a'));
            return fits.status != 0 && fits.status != 503;
        },
        "no room for a new connection after the 413", 10s, 10ms);
    EXPECT_EQ(fits.status, 200);
}

TEST(ServerProgram, MemoryThatRunsOutIsA503AndTheServiceGoesOn) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs far more address space than the limit leaves";
#endif
    // 30 MB of address space: the program with one drawing thread fits, a 14 MB body does not.
    Server server({"--max-body", "16M", "--threads", "1"}, {"/usr/bin/prlimit", "--as=31457280"});
    ASSERT_GT(server.port(), 0) << server.Log();
    std::string art;
    while (art.size() < (14u << 20)) art += "\xE3\x81\x82 (\xC2\xB4\xE3\x83\xBB\xCF\x89\xE3\x83\xBB`)\n";
    const Answer large = server.Post("/render", art);
    EXPECT_EQ(large.status, 503);
    EXPECT_TRUE(large.IsJsonError()) << large.body;
    EXPECT_EQ(large.ErrorCode(), "out-of-memory");
    EXPECT_EQ(large.Header("retry-after"), "1");
    const Answer small = server.Post("/render", Examples("medium.txt"));
    EXPECT_EQ(small.status, 200);
    EXPECT_EQ(small.body, CliPicture(Examples("medium.txt"), {}));
    EXPECT_EQ(server.Stop(), 0);
}

TEST(ServerProgram, RandomRequestsGetPicturesOrJsonAndTheLogHoldsNoArt) {
    Server server;
    ASSERT_GT(server.port(), 0) << server.Log();
    std::mt19937 random(12345);
    const std::vector<std::string> options = {
        "fore=FF0000", "back=%23000000", "margin=7",   "margin=x", "space-sim=0", "html=1",
        "indexed=1",   "encoding=cp932", "encoding=x", "q=1",      "text=SECRET", "%"};
    int pictures = 0, errors = 0;
    Connection c = server.Connect();
    for (int i = 0; i < 300; ++i) {
        std::string query;
        for (int n = random() % 4; n > 0; --n)
            query += (query.empty() ? "?" : "&") + options[random() % options.size()];
        std::string body(random() % 64, '\0');
        for (char& b : body) b = static_cast<char>(random() % 3 ? 'a' + random() % 26 : random());
        body += "SECRET-BODY";
        std::string request = "POST /render" + query + " HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain\r\n" +
                              "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        ASSERT_TRUE(c.Send(request));
        const Answer a = c.Read();
        ASSERT_TRUE(a.complete) << query;
        if (a.status == 200 && a.Header("content-type") == "image/png" && a.body.starts_with("\x89PNG\r\n\x1a\n"))
            ++pictures;
        else if (a.status == 400 && a.IsJsonError())
            ++errors;
        else
            ADD_FAILURE() << a.status << " " << a.body;
    }
    EXPECT_GT(pictures, 0);
    EXPECT_GT(errors, 0);

    EXPECT_EQ(server.Stop(), 0);
    const std::string log = server.Log();
    EXPECT_EQ(log.find("SECRET"), std::string::npos);
    // One line per event (without the journal's priority: standard error is a file).
    EXPECT_TRUE(std::regex_search(log, std::regex("\nPOST /render 200 \\d+ \\d+\\.\\d\n")));
    EXPECT_TRUE(std::regex_search(log, std::regex("\nPOST /render 400 \\d+ \\d+\\.\\d\n")));
    EXPECT_NE(log.find("\nquarvel-server: stopping (SIGTERM)\n"), std::string::npos);
    EXPECT_TRUE(log.starts_with("quarvel-server: listening on ")) << log;
}

TEST(ServerProgram, CommandLine) {
    const auto run = [](std::vector<std::string> args) {
        args.insert(args.begin(), QUARVEL_SERVER_PATH);
        return test::RunProcess(args);
    };
    const auto version = run({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, "quarvel-server " QUARVEL_VERSION_TEXT "\n");
    const auto help = run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    for (const char* option : {"--listen", "--threads", "--max-body", "--header-timeout", "--request-timeout",
                               "--idle-timeout", "--max-connections", "--cpu-limit"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const std::pair<std::vector<std::string>, const char*> bad[] = {
        {{"--listen", "8080"}, "option --listen needs ADDRESS:PORT, such as 127.0.0.1:8080, not '8080'"},
        {{"--threads", "0"}, "option --threads needs a number from 1 to 256, not '0'"},
        {{"--max-body", "17M"}, "option --max-body needs a size from 1 to 16M"},
        {{"--idle-timeout"}, "option --idle-timeout needs a number of seconds from 1 to 3600 ("},
        {{"--thread", "2"}, "unknown option '--thread'; did you mean --threads?"},
        {{"--header-timeout", "0"}, "option --header-timeout needs a number of seconds from 1 to 3600, not '0'"},
        {{"--cpu-limit", "60001"}, "option --cpu-limit needs a number of milliseconds from 1 to 60000, not '60001'"},
        {{"extra"}, "no operands are taken: 'extra' is one too many"},
    };
    for (const auto& [args, says] : bad) {
        const auto r = run(args);
        EXPECT_EQ(r.exit_code, 2) << says;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("(see quarvel-server --help)"), std::string::npos) << r.err;
    }
    // An address already taken: exit 1 and why.
    Server first;
    const auto taken = run({"--listen", "127.0.0.1:" + std::to_string(first.port())});
    EXPECT_EQ(taken.exit_code, 1);
    EXPECT_NE(taken.err.find("quarvel-server: 127.0.0.1:" + std::to_string(first.port()) + ": Address already in use"),
              std::string::npos)
        << taken.err;
}

}  // namespace
}  // namespace quarvel
