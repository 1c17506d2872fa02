#pragma once
// One connection of quarvel-server, on Boost.Beast: its requests read one after the
// other (keep-alive), within the limits and timeouts of ServerConfig, each answered
// by routes.h (pictures drawn by the DrawPool) and logged in one line.

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "server/draw_pool.h"
#include "server/http_server.h"

namespace quarvel::server {

class Session;

// What every connection shares.
struct Shared {
    explicit Shared(const ServerConfig& c) : config(c) {}

    const ServerConfig& config;
    DrawPool* pool = nullptr;  // set once the pool is made, after the network it answers through
    std::atomic<int> connections{0};
    // Bytes of request bodies held, counted as they arrive: a body that would take
    // them beyond BodyBudget() gets 503.
    std::atomic<std::size_t> bodies{0};
    // The connections without a whole request in hand (waiting for one or reading
    // one), the one that began waiting or reading longest ago first, after those that
    // linger once answered: when every connection is taken, a new one takes the place
    // of the first.
    std::mutex readersMutex;
    std::list<Session*> readers;

    std::size_t BodyBudget() const;
};

// Makes room for a new connection: the reader that began longest ago ends (with 503
// when it has sent part of a request). False when every connection has a request in hand.
bool EndOldestReader(Shared& shared);

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(boost::asio::ip::tcp::socket&& socket, Shared& shared);
    ~Session();

    void Start();
    // The connection is one too many: a 503 and the end.
    void Refuse();

private:
    friend bool EndOldestReader(Shared& shared);
    using Clock = std::chrono::steady_clock;
    using Parser = boost::beast::http::request_parser<boost::beast::http::string_body>;
    enum class Phase { waiting, reading, answering };

    const ServerConfig& Config() const { return shared_.config; }
    enum class Listing { no, last, first };  // where in Shared::readers
    void Listed(Listing listing);
    void Evict();
    void NewParser();
    void WaitForRequest();
    void BeginRequest();
    void ArmDeadline(Clock::time_point when);
    void Parse();
    boost::beast::error_code PutBuffered();
    bool OnHeader();
    bool ChargeBody();
    std::size_t HeadRoom() const;
    void ReadMore();
    void OnRequest();
    void Fail(boost::beast::error_code ec);
    void Send(HttpResponse answer, bool keepAlive);
    void LogRequest();
    void Linger();
    void Drain();
    void Close();
    HttpResponse TooLarge() const;
    void DrawAndSend(Drawing drawing);
    HttpResponse DrawSafely(Drawing drawing) const;

    boost::beast::tcp_stream stream_;
    boost::asio::steady_timer deadline_;
    Shared& shared_;
    boost::beast::flat_buffer buffer_;
    std::optional<Parser> parser_;
    boost::beast::http::response<boost::beast::http::string_body> response_;
    std::list<Session*>::iterator place_;  // in shared_.readers, when listed_ (both under its mutex)
    bool listed_ = false;
    Phase phase_ = Phase::waiting;
    bool evicted_ = false;
    bool timedOut_ = false;
    bool headDone_ = false;       // the request's head is read
    std::size_t headBytes_ = 0;   // the request line and headers, counted with the trailers
    std::uint64_t requests_ = 0;  // requests begun on this connection
    std::uint64_t reading_ = 0;   // the number of the request being read, 0 between requests
    std::size_t reserved_ = 0;    // of Shared::bodies
    HttpRequest request_;         // what the head said, taken before any trailer is read
    bool keepAlive_ = false;
    const Clock::time_point accepted_ = Clock::now();
    Clock::time_point start_ = accepted_;
    std::string client_;  // the address it comes from, whose turn its pictures take
    std::string method_ = "-", path_ = "-";
    unsigned version_ = 11;
    bool head_ = false;
    std::size_t sent_ = 0;
};

}  // namespace quarvel::server
