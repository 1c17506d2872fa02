#include "server/http_server.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quarvel::server {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

// The most bytes of request bodies held at once.
std::size_t BodyBudget(const ServerConfig& config) { return std::max(kBodyBudget, 4 * config.service.maxBody); }

// What every connection shares.
struct Shared {
    const ServerConfig& config;
    std::atomic<int> connections{0};
    // Bytes of request bodies being read or answered, by what their headers announce (a
    // chunked body counts as --max-body); a body beyond the budget gets 503 at once.
    std::atomic<std::size_t> bodies{0};
};

// One line on standard error, written at once so that lines of two threads never mix.
void Log(const std::string& line) {
    std::string text = line + "\n";
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0) return;  // a log that cannot be written loses the line, never the answer
        done += static_cast<std::size_t>(n);
    }
}

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket&& socket, Shared& shared)
        : stream_(std::move(socket)), deadline_(stream_.get_executor()), shared_(shared) {
        ++shared_.connections;
    }
    ~Session() {
        ReleaseBody();
        --shared_.connections;
    }

    void Start() {
        beast::error_code ignored;
        stream_.socket().non_blocking(true, ignored);  // for the reads tried at once (WaitForRequest)
        net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->WaitForRequest(); });
    }

    // The connection is one too many: a 503 and the end.
    void Refuse() {
        net::dispatch(stream_.get_executor(), [self = shared_from_this()] {
            self->start_ = Clock::now();
            HttpResponse busy = JsonError(503, "too many connections; try again in a moment");
            busy.headers.emplace_back("Retry-After", "1");
            self->Send(std::move(busy), false);
        });
    }

private:
    const ServerConfig& Config() const { return shared_.config; }

    void ReleaseBody() {
        shared_.bodies -= reserved_;
        reserved_ = 0;
    }

    void NewParser() {
        ReleaseBody();
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(kMaxHeaderBytes));
        parser_->body_limit(Config().service.maxBody);
        method_ = "-";
        path_ = "-";
        version_ = 11;
        head_ = false;
    }

    // Between requests only the idle timeout runs; a request's first byte starts its own.
    void WaitForRequest() {
        NewParser();
        if (buffer_.size() > 0) return ReadHeader();  // the next request came with the last
        // A kept-alive client has often sent its next request by now: read it at once
        // rather than after another turn of every connection's work.
        beast::error_code ec;
        const std::size_t n = stream_.socket().read_some(buffer_.prepare(4096), ec);
        if (!ec && n > 0) {
            buffer_.commit(n);
            return ReadHeader();
        }
        if (ec && ec != net::error::would_block && ec != net::error::try_again) return Close();
        stream_.expires_after(Config().idleTimeout);
        stream_.async_read_some(buffer_.prepare(4096), [self = shared_from_this()](beast::error_code read,
                                                                                     std::size_t bytes) {
            if (read) return self->Close();  // closed by the client, or idle too long
            self->buffer_.commit(bytes);
            self->ReadHeader();
        });
    }

    // The request's deadline is a timer of its own rather than the stream's, which would
    // close the connection before the 408 could be written.
    void ReadHeader() {
        start_ = Clock::now();
        stream_.expires_never();
        timedOut_ = false;
        reading_ = ++requests_;
        deadline_.expires_after(Config().requestTimeout);
        deadline_.async_wait([self = shared_from_this(), request = reading_](beast::error_code ec) {
            // Cancelled, or expired just as this request was read whole (then already queued).
            if (ec || self->reading_ != request) return;
            self->timedOut_ = true;
            beast::error_code ignored;
            self->stream_.socket().cancel(ignored);
        });
        ContinueHeader();
    }

    // What the buffer holds is parsed at once; only a header that is not all there waits
    // for more. (Each wait puts the request behind every other connection's work again.)
    void ContinueHeader() {
        beast::error_code ec;
        while (!parser_->is_header_done() && buffer_.size() > 0) {
            const std::size_t used = parser_->put(buffer_.data(), ec);
            buffer_.consume(used);
            if (ec == http::error::need_more || (!ec && used == 0)) break;
            if (ec) return Fail(ec);
        }
        if (parser_->is_header_done()) return OnHeader({});
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](beast::error_code read, std::size_t) { self->OnHeader(read); });
    }

    void OnHeader(beast::error_code ec) {
        if (ec) return Fail(ec);
        if (timedOut_) return Fail(beast::error::timeout);
        const auto& request = parser_->get();
        method_ = Printable(std::string_view(request.method_string().data(), request.method_string().size()), 16);
        path_ = LoggedPath(std::string_view(request.target().data(), request.target().size()));
        version_ = request.version();
        head_ = request.method() == http::verb::head;
        if (const auto length = parser_->content_length(); length && *length > Config().service.maxBody)
            return Send(TooLarge(), false);
        const std::size_t body = parser_->chunked() ? Config().service.maxBody : parser_->content_length().value_or(0);
        if (body > 0) {
            if (shared_.bodies.fetch_add(body) + body > BodyBudget(Config())) {
                shared_.bodies -= body;
                HttpResponse busy = JsonError(503, "too many large requests at once; try again in a moment");
                busy.headers.emplace_back("Retry-After", "1");
                return Send(std::move(busy), false);
            }
            reserved_ = body;
            // The body's memory now, where running out of it can still be answered.
            try {
                if (!parser_->chunked()) parser_->get().body().reserve(body);
            } catch (const std::bad_alloc&) {
                return Send(OutOfMemory(), false);
            }
        }
        const auto expect = request[http::field::expect];
        if (beast::iequals(expect, "100-continue")) {
            static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            net::async_write(stream_, net::buffer(kContinue),
                             [self = shared_from_this()](beast::error_code written, std::size_t) {
                                 if (written) return self->Close();
                                 if (self->timedOut_) return self->Fail(beast::error::timeout);
                                 self->ReadBody();
                             });
            return;
        }
        ReadBody();
    }

    void ReadBody() {
        try {
            beast::error_code ec;
            while (!parser_->is_done() && buffer_.size() > 0) {
                const std::size_t used = parser_->put(buffer_.data(), ec);
                buffer_.consume(used);
                if (ec == http::error::need_more || (!ec && used == 0)) break;
                if (ec) return Fail(ec);
            }
        } catch (const std::bad_alloc&) {
            return Send(OutOfMemory(), false);
        }
        if (parser_->is_done()) return OnRequest();
        http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return self->Fail(ec);
            if (self->timedOut_) return self->Fail(beast::error::timeout);
            self->OnRequest();
        });
    }

    static HttpResponse OutOfMemory() {
        HttpResponse busy = JsonError(503, "out of memory; try again later");
        busy.headers.emplace_back("Retry-After", "1");
        return busy;
    }

    HttpResponse TooLarge() const {
        return JsonError(413, "the body is larger than " + std::to_string(Config().service.maxBody) + " bytes");
    }

    void OnRequest() {
        deadline_.cancel();
        auto message = parser_->release();
        HttpRequest request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        if (auto it = message.find(http::field::content_type); it != message.end())
            request.contentType = std::string(it->value());
        if (auto it = message.find(http::field::if_none_match); it != message.end())
            request.ifNoneMatch = std::string(it->value());
        request.body = std::move(message.body());
        const bool keepAlive = message.keep_alive();
        HttpResponse response;
        try {
            response = Answer(std::move(request), Config().service);
        } catch (const std::bad_alloc&) {
            response = OutOfMemory();
        }
        Send(std::move(response), keepAlive);
    }

    // A request that could not be read: an answer that says why where there was a
    // request at all, else the end of the connection.
    void Fail(beast::error_code ec) {
        deadline_.cancel();
        if (timedOut_) ec = beast::error::timeout;  // the reads were cancelled by the deadline
        if (ec == http::error::header_limit)
            return Send(JsonError(431, "the request line and headers are larger than " +
                                           std::to_string(kMaxHeaderBytes / 1024) + " KB"),
                        false);
        if (ec == http::error::body_limit) return Send(TooLarge(), false);
        if (ec == beast::error::timeout)
            return Send(JsonError(408, "the request did not arrive within " +
                                           std::to_string(Config().requestTimeout.count()) + " s"),
                        false);
        if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
            ec != http::error::end_of_stream && ec != http::error::partial_message)
            return Send(JsonError(400, "malformed HTTP request: " + ec.message()), false);
        Close();  // the client went away
    }

    void Send(HttpResponse answer, bool keepAlive) {
        reading_ = 0;  // the request's deadline has no more to say
        deadline_.cancel();
        response_ = {};
        response_.version(version_);
        response_.result(static_cast<unsigned>(answer.status));
        for (auto& [name, value] : answer.headers) response_.insert(name, value);
        sent_ = head_ ? 0 : answer.body.size();
        const bool noBody = answer.status == 304 || answer.status == 204;
        if (!noBody) response_.content_length(answer.body.size());
        if (!head_ && !noBody) response_.body() = std::move(answer.body);
        response_.keep_alive(keepAlive);
        stream_.expires_after(Config().requestTimeout);
        http::async_write(stream_, response_, [self = shared_from_this(), keepAlive](beast::error_code ec, std::size_t) {
            self->LogRequest();
            if (ec) return self->Close();
            if (!keepAlive) return self->Linger();
            self->WaitForRequest();
        });
    }

    void LogRequest() {
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        char tail[64];
        std::snprintf(tail, sizeof tail, " %u %zu %.1f", response_.result_int(), sent_, ms);
        Log(method_ + " " + path_ + tail);
    }

    // Ends the connection after an answer without reading the rest of the request: the
    // sending side first, then what the client still sends is read and dropped for a
    // moment, so that the client reads the answer before the connection closes (closing
    // with unread bytes would reset it and lose the answer).
    void Linger() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(std::chrono::seconds(2));
        Drain();
    }
    void Drain() {
        buffer_.clear();
        stream_.async_read_some(buffer_.prepare(65536), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return self->Close();
            self->Drain();
        });
    }

    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    beast::tcp_stream stream_;
    net::steady_timer deadline_;
    bool timedOut_ = false;
    std::uint64_t requests_ = 0;  // requests begun on this connection
    std::uint64_t reading_ = 0;   // the number of the request being read, 0 between requests
    Shared& shared_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    http::response<http::string_body> response_;
    Clock::time_point start_ = Clock::now();
    std::string method_ = "-", path_ = "-";
    unsigned version_ = 11;
    bool head_ = false;
    std::size_t sent_ = 0;
    std::size_t reserved_ = 0;  // of Shared::bodies
};

class Listener : public std::enable_shared_from_this<Listener> {
public:
    Listener(net::io_context& io, Shared& shared) : io_(io), acceptor_(net::make_strand(io)), retry_(io), shared_(shared) {}

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
        acceptor_.async_accept(net::make_strand(io_), [self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
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
        // Every connection already waiting is taken now, not one per turn of the others' work.
        for (;;) {
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
        if (shared_.connections > shared_.config.maxConnections)
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

}  // namespace

int RunServer(const ServerConfig& given) {
    ServerConfig config = given;
    // A few files besides the connections: the fonts, standard streams, the listener.
    const int files = RaiseOpenFileLimit();
    if (config.maxConnections > files - 64) {
        config.maxConnections = std::max(1, files - 64);
        Log("quarvel-server: warning: only " + std::to_string(files) + " files may be open; at most " +
            std::to_string(config.maxConnections) + " connections");
    }

    beast::error_code ec;
    const net::ip::address address = net::ip::make_address(config.listen.host, ec);
    if (ec) {
        Log("quarvel-server: " + config.listen.host + ": " + ec.message());
        return 1;
    }
    const int threads = std::max(1, config.threads);
    net::io_context io(threads);
    Shared shared{config};
    auto listener = std::make_shared<Listener>(io, shared);
    const tcp::endpoint wanted(address, config.listen.port);
    if (std::string why = listener->Open(wanted); !why.empty()) {
        Log("quarvel-server: " + (address.is_v6() ? "[" + config.listen.host + "]" : config.listen.host) + ":" +
            std::to_string(config.listen.port) + ": " + why);
        return 1;
    }
    // Signals are caught before the first line says that the server listens: whoever
    // waits for that line may stop it at once.
    net::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](beast::error_code, int signal) {
        Log(std::string("quarvel-server: stopping (") + (signal == SIGINT ? "SIGINT" : "SIGTERM") + ")");
        listener->Stop();
        io.stop();
    });
    const tcp::endpoint bound = listener->Bound();
    const std::string host = bound.address().is_v6() ? "[" + bound.address().to_string() + "]" : bound.address().to_string();
    Log("quarvel-server: listening on http://" + host + ":" + std::to_string(bound.port()) + "/ with " +
        std::to_string(threads) + (threads == 1 ? " thread" : " threads"));
    listener->Accept();


    // Memory that runs out in the middle of reading a request ends that connection, not
    // the service.
    const auto run = [&io] {
        for (;;) {
            try {
                io.run();
                return;
            } catch (const std::bad_alloc&) {
                Log("quarvel-server: out of memory; a connection was dropped");
            }
        }
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) pool.emplace_back(run);
    run();
    for (std::thread& t : pool) t.join();
    return 0;
}

}  // namespace quarvel::server
