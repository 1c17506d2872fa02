// The log's lines begin with the journal's priority only when standard error is the
// journal's stream, as JOURNAL_STREAM names it: a terminal, a file or a stream that the
// variable names no longer gets the bare lines.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server_client.h"

namespace quarvel::test::server {
namespace {

TEST(ServerProgram, ThePriorityBeginsALogLineOnlyInTheJournal) {
    struct Case {
        const char* journalStream;  // a shell word; empty: the variable unset
        const char* firstLine;
    };
    const Case cases[] = {
        {"", "quarvel-server: listening on "},
        // The log file's own device and inode, as systemd passes the journal's.
        {"$(stat -L -c %d:%i /proc/self/fd/2)", "<6>quarvel-server: listening on "},
        // Standard error sent elsewhere than the stream the variable names.
        {"1:1", "quarvel-server: listening on "},
        {"garbage", "quarvel-server: listening on "},
    };
    for (const Case& c : cases) {
        const std::string set = *c.journalStream ? std::string("JOURNAL_STREAM=") + c.journalStream + " " : "";
        Server server({}, {"/bin/sh", "-c", "unset JOURNAL_STREAM; " + set + "exec \"$@\"", "sh"});
        ASSERT_GT(server.port(), 0) << server.Log();
        EXPECT_EQ(server.Ask("GET", "/render?text=a").status, 200);
        // (The request's line is written once the answer has gone, maybe after the client has it.)
        test::WaitUntil([&] { return server.Log().find("GET /render 200 ") != std::string::npos; },
                        "the request was not logged", 10s, 10ms);
        EXPECT_EQ(server.Stop(), 0);
        const std::string log = server.Log();
        EXPECT_TRUE(log.starts_with(c.firstLine)) << c.journalStream << "\n" << log;
        const bool journal = std::string(c.firstLine).starts_with("<");
        EXPECT_EQ(log.find("\n<6>GET /render 200 ") != std::string::npos, journal) << log;
        EXPECT_EQ(log.find("\nGET /render 200 ") != std::string::npos, !journal) << log;
    }
}

}  // namespace
}  // namespace quarvel::test::server
