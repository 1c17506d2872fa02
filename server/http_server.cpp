#include "server/http_server.h"

#include <sys/resource.h>

#include <algorithm>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "server/draw_pool.h"
#include "server/log.h"
#include "server/session.h"

namespace quarvel::server {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr int kAcceptedAtOnce = 64;

class Listener : public std::enable_shared_from_this<Listener> {
public:
    Listener(net::io_context& io, Shared& shared)
        : io_(io), acceptor_(net::make_strand(io)), retry_(io), shared_(shared) {}

    // Binds and listens; an empty string when it does, else why not.
    std::string Open(const tcp::endpoint& endpoint) {
        beast::error_code ec;
        acceptor_.open(endpoint.protocol(), ec);
        if (!ec) acceptor_.set_option(net::socket_base::reuse_address(true), ec);
        if (!ec && endpoint.address().is_v6()) acceptor_.set_option(net::ip::v6_only(false), ec);
        if (!ec) acceptor_.bind(endpoint, ec);
        if (!ec) acceptor_.listen(net::socket_base::max_listen_connections, ec);
        if (!ec) acceptor_.non_blocking(true, ec);  // for the accepts tried at once (OnAccept)
        return ec ? ec.message() : std::string();
    }
    tcp::endpoint Bound() const { return acceptor_.local_endpoint(); }

    void Accept() {
        acceptor_.async_accept(net::make_strand(io_),
                               [self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
                                   self->OnAccept(ec, std::move(socket));
                               });
    }
    void Stop() {
        net::dispatch(acceptor_.get_executor(), [self = shared_from_this()] {
            beast::error_code ignored;
            self->acceptor_.close(ignored);
            self->retry_.cancel();
        });
    }

private:
    void OnAccept(beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted) return;  // stopped
        if (ec) {
            // Out of file descriptors or the like: wait a moment rather than spin.
            retry_.expires_after(std::chrono::milliseconds(50));
            retry_.async_wait([self = shared_from_this()](beast::error_code wait) {
                if (!wait) self->Accept();
            });
            return;
        }
        Welcome(std::move(socket));
        // The connections already waiting are taken now, not one per turn of the others'
        // work; but a few at a time, so that the others' work (seeing answered
        // connections close, among it) goes on during a flood of new ones.
        for (int i = 0; i < kAcceptedAtOnce; ++i) {
            tcp::socket next(net::make_strand(io_));
            beast::error_code more;
            acceptor_.accept(next, more);
            if (more) break;
            Welcome(std::move(next));
        }
        Accept();
    }

    void Welcome(tcp::socket socket) {
        beast::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        auto session = std::make_shared<Session>(std::move(socket), shared_);
        // Every connection taken: the one that has waited longest without a whole
        // request makes room, so that idle and slow clients never keep others out.
        if (shared_.connections > shared_.config.maxConnections && !EndOldestReader(shared_))
            session->Refuse();
        else
            session->Start();
    }

    net::io_context& io_;
    tcp::acceptor acceptor_;
    net::steady_timer retry_;
    Shared& shared_;
};

// As many open files as the system allows this process: one per connection.
int RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur > 1u << 30 ? 1 << 30 : static_cast<int>(limit.rlim_cur);
}

// Runs the network until it stops: what a handler throws ends that connection, not
// the service.
void RunNetwork(net::io_context& io) {
    for (;;) {
        try {
            io.run();
            return;
        } catch (const std::bad_alloc&) {
            Log(LogPriority::error,
                "quarvel-server: a connection was dropped: " + FailureText(Failure{Failure::What::outOfMemory}));
        } catch (const std::exception& e) {
            Log(LogPriority::error, std::string("quarvel-server: a connection was dropped: ") + e.what());
        }
    }
}

// Threads for connections besides those that draw, as many: reading requests and
// writing answers takes a small part of a picture's time, but a burst of connections
// (each accepted, answered and closed) must not wait behind one thread.
int NetworkThreads(int drawing) { return drawing; }

}  // namespace

int RunServer(const ServerConfig& given) {
    ServerConfig config = given;
    // A few files besides the connections: the fonts, standard streams, the listener.
    const int files = RaiseOpenFileLimit();
    if (config.maxConnections > files - 64) {
        config.maxConnections = std::max(1, files - 64);
        Log(LogPriority::warning, "quarvel-server: warning: only " + std::to_string(files) +
                                      " files may be open; at most " + std::to_string(config.maxConnections) +
                                      " connections");
    }
    beast::error_code ec;
    const net::ip::address address = net::ip::make_address(config.listen.host, ec);
    if (ec) {
        Log(LogPriority::error, "quarvel-server: " + config.listen.host + ": " + ec.message());
        return 1;
    }
    const int threads = std::max(1, config.threads), network = NetworkThreads(threads);
    // In this order, so that each outlives what uses it: connections end with the
    // network (or with the pool's jobs) and use `shared`; the pool's jobs answer
    // through the network.
    Shared shared(config);
    net::io_context io(network);
    DrawPool pool(threads);
    shared.pool = &pool;
    auto listener = std::make_shared<Listener>(io, shared);
    if (std::string why = listener->Open(tcp::endpoint(address, config.listen.port)); !why.empty()) {
        Log(LogPriority::error,
            "quarvel-server: " + (address.is_v6() ? "[" + config.listen.host + "]" : config.listen.host) + ":" +
                std::to_string(config.listen.port) + ": " + why);
        return 1;
    }
    // Signals are caught before the first line says that the server listens: whoever
    // waits for that line may stop it at once.
    net::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](beast::error_code, int signal) {
        Log(LogPriority::info,
            std::string("quarvel-server: stopping (") + (signal == SIGINT ? "SIGINT" : "SIGTERM") + ")");
        listener->Stop();
        io.stop();
    });
    const tcp::endpoint bound = listener->Bound();
    const std::string host =
        bound.address().is_v6() ? "[" + bound.address().to_string() + "]" : bound.address().to_string();
    Log(LogPriority::info, "quarvel-server: listening on http://" + host + ":" + std::to_string(bound.port()) +
                               "/ with " + std::to_string(threads) + (threads == 1 ? " thread" : " threads") +
                               " drawing");
    listener->Accept();
    std::vector<std::thread> more;
    for (int i = 1; i < network; ++i) more.emplace_back([&io] { RunNetwork(io); });
    RunNetwork(io);
    for (std::thread& t : more) t.join();
    return 0;
}

}  // namespace quarvel::server
