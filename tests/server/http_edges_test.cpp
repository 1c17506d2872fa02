// The edges of HTTP/1.1 that every server must keep: a request names its host once, and
// a target in absolute form (as a proxy sends it) is the same as its path.

#include <gtest/gtest.h>

#include <string>

#include "server_client.h"

namespace quarvel::test::server {
namespace {

TEST(ServerProgram, HostFieldsAndAbsoluteTargetsAsHttpAsks) {
    Server server;
    ASSERT_GT(server.port(), 0) << server.Log();
    struct Case {
        const char* head;  // the request line and the fields, without the blank line
        int status;
    };
    const Case cases[] = {
        {"GET /healthz HTTP/1.1\r\nHost: example.org:8080", 200},
        {"GET /healthz HTTP/1.1\r\nHost:", 200},
        {"GET /healthz HTTP/1.1", 400},
        {"GET /healthz HTTP/1.1\r\nHost: a\r\nHost: a", 400},
        {"GET /healthz HTTP/1.1\r\nHost: a b", 400},
        {"GET /healthz HTTP/1.1\r\nHost: a/b", 400},
        {"GET /healthz HTTP/1.1\r\nHost: [::1]:80", 200},
        {"GET /healthz HTTP/1.0", 200},
        {"GET /healthz HTTP/1.0\r\nHost: a\r\nHost: b", 400},
        {"GET http://example.org/healthz HTTP/1.1\r\nHost: example.org", 200},
        {"GET HTTP://example.org:8080/healthz HTTP/1.1\r\nHost: example.org:8080", 200},
        {"GET https://example.org/render?text=a HTTP/1.1\r\nHost: example.org", 200},
        {"GET http://example.org HTTP/1.1\r\nHost: example.org", 200},
        {"GET http://example.org/nothing HTTP/1.1\r\nHost: example.org", 404},
        {"GET http://example.org/healthz HTTP/1.1", 400},
    };
    for (const Case& c : cases) {
        Connection connection = server.Connect();
        ASSERT_TRUE(connection.Send(std::string(c.head) + "\r\nConnection: close\r\n\r\n"));
        const Answer answer = connection.Read();
        EXPECT_EQ(answer.status, c.status) << c.head;
        if (answer.status == 400) {
            EXPECT_EQ(answer.ErrorCode(), "bad-http") << c.head;
        }
    }
    EXPECT_EQ(server.Stop(), 0);
    // The log names the path alone, whatever form the target took.
    EXPECT_EQ(server.Log().find("example.org/"), std::string::npos) << server.Log();
}

}  // namespace
}  // namespace quarvel::test::server
