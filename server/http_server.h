#pragma once
// The network side of quarvel-server, on Boost.Beast: connections, HTTP/1.1 with
// keep-alive, the limits and timeouts that keep slow and idle clients from starving the
// others, and the log line of each request. What is answered is routes.h's.

#include <chrono>
#include <cstddef>

#include "server/request.h"
#include "server/routes.h"

namespace quarvel::server {

struct ServerConfig {
    ListenAddress listen{"127.0.0.1", 8080};
    int threads = 1;
    std::chrono::seconds requestTimeout{10};  // from a request's first byte to its last, and to write the answer
    std::chrono::seconds idleTimeout{75};     // a kept-alive connection waiting for its next request
    int maxConnections = 1024;                // beyond: 503 at once
    ServiceSettings service;
};

// The longest request line and headers together.
inline constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
// The most bytes of request bodies held at once (or four times --max-body, if more):
// beyond, a request with a body gets 503 at once rather than memory running out.
inline constexpr std::size_t kBodyBudget = 256u << 20;

// Listens and answers until SIGINT or SIGTERM; returns the exit status (1 when the
// address cannot be had, with the reason on standard error). Says on standard error
// "quarvel-server: listening on http://ADDR:PORT/" once it listens.
int RunServer(const ServerConfig& config);

}  // namespace quarvel::server
