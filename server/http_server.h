#pragma once
// The network side of quarvel-server, on Boost.Beast: connections (session.h), HTTP/1.1
// with keep-alive, the limits and timeouts that keep slow, idle and greedy clients from
// starving the others, and the log line of each request. What is answered is
// routes.h's; pictures are drawn on threads of their own (draw_pool.h).

#include <chrono>
#include <cstddef>

#include "server/command_line.h"

namespace quarvel::server {

// The longest request line and headers together, with the trailers of a chunked body.
inline constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
// The most bytes of request bodies held at once (or four times --max-body, if more),
// counted as they arrive: the body that would go beyond gets 503 rather than memory
// running out.
inline constexpr std::size_t kBodyBudget = 256u << 20;

// Listens and answers until SIGINT or SIGTERM; returns the exit status (1 when the
// address cannot be had, with the reason on standard error). Says on standard error
// "quarvel-server: listening on http://ADDR:PORT/" once it listens.
int RunServer(const ServerConfig& config);

}  // namespace quarvel::server
