#include "server/session.h"

#include <algorithm>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>

#include "server/log.h"

namespace quarvel::server {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

// Bytes read from a connection at a time.
constexpr std::size_t kReadSize = 64 * 1024;
// The most text drawn by the network thread that read it rather than by the pool:
// at most a few hundred characters, a few milliseconds when every glyph is new.
constexpr std::size_t kDrawnAtOnce = 1024;

// The values of every field `name` of a request's head, joined by commas as HTTP allows
// a list field to be; empty when it has none.
template <typename Fields>
std::string Joined(const Fields& fields, http::field name) {
    std::string joined;
    for (auto [it, end] = fields.equal_range(name); it != end; ++it) {
        if (!joined.empty()) joined += ',';
        joined += it->value();
    }
    return joined;
}

}  // namespace

std::size_t Shared::BodyBudget() const { return std::max(kBodyBudget, 4 * config.service.maxBody); }

bool EndOldestReader(Shared& shared) {
    std::shared_ptr<Session> oldest;
    {
        std::lock_guard lock(shared.readersMutex);
        while (!oldest && !shared.readers.empty()) {
            Session* session = shared.readers.front();
            shared.readers.pop_front();
            session->listed_ = false;
            oldest = session->weak_from_this().lock();  // null when it is ending anyway
        }
    }
    if (!oldest) return false;
    net::post(oldest->stream_.get_executor(), [oldest] { oldest->Evict(); });
    return true;
}

Session::Session(tcp::socket&& socket, Shared& shared)
    : stream_(std::move(socket)), deadline_(stream_.get_executor()), shared_(shared) {
    ++shared_.connections;
    beast::error_code ec;
    const tcp::endpoint peer = stream_.socket().remote_endpoint(ec);
    if (!ec) client_ = peer.address().to_string();
}

Session::~Session() {
    Listed(Listing::no);
    shared_.bodies -= reserved_;
    --shared_.connections;
}

void Session::Start() {
    beast::error_code ignored;
    stream_.socket().non_blocking(true, ignored);  // for the reads tried at once (WaitForRequest)
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->WaitForRequest(); });
}

void Session::Refuse() {
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] {
        self->start_ = Clock::now();
        self->Send(Busy("too many connections; try again in a moment"), false);
    });
}

void Session::Listed(Listing listing) {
    std::lock_guard lock(shared_.readersMutex);
    if (listed_) shared_.readers.erase(place_);
    listed_ = listing != Listing::no;
    if (listed_)
        place_ =
            shared_.readers.insert(listing == Listing::first ? shared_.readers.begin() : shared_.readers.end(), this);
}

// Another connection takes this one's place: one waiting for a request (or lingering
// after its last answer) ends without a word, as after its idle time; one reading a
// request has its reads cancelled and answers 503 (Fail). One whose request came
// whole meanwhile goes on.
void Session::Evict() {
    if (phase_ == Phase::answering) return;
    evicted_ = true;
    if (phase_ == Phase::waiting) return Close();
    beast::error_code ignored;
    stream_.socket().cancel(ignored);
}

void Session::NewParser() {
    shared_.bodies -= reserved_;
    reserved_ = 0;
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(kMaxHeaderBytes));
    parser_->body_limit(Config().service.maxBody);
    headDone_ = false;
    headBytes_ = 0;
    request_ = {};
    keepAlive_ = false;
    method_ = "-";
    path_ = "-";
    version_ = 11;
    head_ = false;
}

// Between requests only the idle timeout runs (on a new connection the header
// timeout); a request's first byte starts its own deadline.
void Session::WaitForRequest() {
    NewParser();
    phase_ = Phase::waiting;
    Listed(Listing::last);
    if (buffer_.size() > 0) return BeginRequest();  // the next request came with the last
    // A kept-alive client has often sent its next request by now: read it at once
    // rather than after another turn of every connection's work.
    beast::error_code ec;
    const std::size_t n = stream_.socket().read_some(buffer_.prepare(kReadSize), ec);
    if (!ec && n > 0) {
        buffer_.commit(n);
        return BeginRequest();
    }
    if (ec && ec != net::error::would_block && ec != net::error::try_again) return Close();
    stream_.expires_after(requests_ == 0 ? Config().headerTimeout : Config().idleTimeout);
    stream_.async_read_some(buffer_.prepare(kReadSize),
                            [self = shared_from_this()](beast::error_code read, std::size_t bytes) {
                                if (read || self->evicted_)
                                    return self->Close();  // closed by the client, idle too long, or evicted
                                self->buffer_.commit(bytes);
                                self->BeginRequest();
                            });
}

// The head must come within the header timeout (of the connection's opening, for its
// first request); the whole request within the request timeout of its first byte.
void Session::BeginRequest() {
    phase_ = Phase::reading;
    start_ = Clock::now();
    stream_.expires_never();
    timedOut_ = false;
    reading_ = ++requests_;
    ArmDeadline((requests_ == 1 ? accepted_ : start_) + Config().headerTimeout);
    Parse();
}

// The deadline is a timer of its own rather than the stream's, which would close the
// connection before the 408 could be written.
void Session::ArmDeadline(Clock::time_point when) {
    deadline_.expires_at(std::min(when, start_ + Config().requestTimeout));
    deadline_.async_wait([self = shared_from_this(), request = reading_](beast::error_code ec) {
        // Cancelled, or expired just as this request was read whole (then already queued).
        if (ec || self->reading_ != request) return;
        self->timedOut_ = true;
        beast::error_code ignored;
        self->stream_.socket().cancel(ignored);
    });
}

// What the buffer holds is parsed at once; only a request that is not all there waits
// for more. (Each wait puts the request behind every other connection's work again.)
void Session::Parse() {
    for (;;) {
        const bool headBefore = headDone_;
        beast::error_code ec;
        try {
            ec = PutBuffered();
        } catch (const std::bad_alloc&) {
            return Send(FailureAnswer(Failure{Failure::What::outOfMemory}), false);
        } catch (const std::length_error&) {
            return Fail(http::error::header_limit);  // a field longer than the parser holds
        } catch (const std::exception& e) {
            return Send(JsonError(400, ErrorCode::badHttp, std::string("malformed HTTP request: ") + e.what()), false);
        }
        if (ec) return Fail(ec);
        if (headDone_ == headBefore) break;
        if (!OnHeader()) return;
    }
    if (!ChargeBody()) return;
    if (parser_->is_done()) return OnRequest();
    if (buffer_.size() >= HeadRoom()) return Fail(http::error::header_limit);
    ReadMore();
}

// The most bytes the parser may wait on: what waits for its end is a head, a chunk's
// line or the trailers, which count with the head against its limit. Reads are no
// larger, so that the parser never holds more.
std::size_t Session::HeadRoom() const { return kMaxHeaderBytes - std::min(headBytes_, kMaxHeaderBytes); }

// Gives the parser what the buffer holds, stopping once the head is read so that it
// can be looked at before the body; an error of the parser's, if any.
beast::error_code Session::PutBuffered() {
    beast::error_code ec;
    while (!parser_->is_done() && buffer_.size() > 0) {
        const std::size_t used = parser_->put(buffer_.data(), ec);
        buffer_.consume(used);
        if (!headDone_) headBytes_ += used;
        if (ec == http::error::need_more || (!ec && used == 0)) return {};
        if (ec) return ec;
        if (!headDone_ && parser_->is_header_done()) {
            headDone_ = true;
            return {};
        }
    }
    return {};
}

// The head is read: what the answer needs of it is taken now (trailers may not change
// it), and a request the service will not read is answered at once. False when it
// has been answered, or goes on after a 100 Continue.
bool Session::OnHeader() {
    const auto& request = parser_->get();
    method_ = Printable(std::string_view(request.method_string().data(), request.method_string().size()), 16);
    request_.target = OriginForm(std::string_view(request.target().data(), request.target().size()));
    path_ = LoggedPath(request_.target);
    version_ = request.version();
    head_ = request.method() == http::verb::head;
    request_.method = std::string(request.method_string());
    if (auto it = request.find(http::field::content_type); it != request.end())
        request_.contentType = std::string(it->value());
    if (auto it = request.find(http::field::if_none_match); it != request.end())
        request_.ifNoneMatch = std::string(it->value());
    request_.acceptLanguage = Joined(request, http::field::accept_language);
    keepAlive_ = request.keep_alive();
    ArmDeadline(start_ + Config().requestTimeout);

    std::vector<std::string_view> hosts;
    for (auto [it, end] = request.equal_range(http::field::host); it != end; ++it)
        hosts.emplace_back(it->value().data(), it->value().size());
    if (const Parsed<bool> host = ReadHost(version_, hosts); !host) {
        Send(JsonError(host), false);
        return false;
    }
    if (const Parsed<bool> chunked = ReadTransferEncoding(Joined(request, http::field::transfer_encoding)); !chunked) {
        Send(JsonError(chunked), false);
        return false;
    }
    if (const auto length = parser_->content_length(); length && *length > Config().service.maxBody) {
        Send(TooLarge(), false);
        return false;
    }
    if (!beast::iequals(request[http::field::expect], "100-continue") || parser_->is_done()) return true;
    static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    net::async_write(stream_, net::buffer(kContinue),
                     [self = shared_from_this()](beast::error_code written, std::size_t) {
                         if (written && !self->timedOut_ && !self->evicted_) return self->Close();
                         if (written) return self->Fail(written);
                         self->Parse();
                     });
    return false;
}

// Bodies are counted by the bytes that have come, not by what their heads announce:
// a client that announces much and sends little holds nothing.
bool Session::ChargeBody() {
    const std::size_t held = parser_->get().body().size();
    if (held <= reserved_) return true;
    const std::size_t more = held - reserved_;
    reserved_ = held;
    if (shared_.bodies.fetch_add(more) + more <= shared_.BodyBudget()) return true;
    Send(Busy("too many large requests at once; try again in a moment"), false);
    return false;
}

void Session::ReadMore() {
    const std::size_t size = std::min(kReadSize, HeadRoom() - buffer_.size());
    stream_.async_read_some(buffer_.prepare(size),
                            [self = shared_from_this()](beast::error_code ec, std::size_t bytes) {
                                if (!ec) self->buffer_.commit(bytes);
                                if (ec || self->timedOut_ || self->evicted_) return self->Fail(ec);
                                self->Parse();
                            });
}

HttpResponse Session::TooLarge() const {
    return JsonError(413, ErrorCode::tooLarge,
                     "the body is larger than " + std::to_string(Config().service.maxBody) + " bytes");
}

// The request is whole: answered here, or drawn by the pool and answered when drawn.
void Session::OnRequest() {
    phase_ = Phase::answering;
    reading_ = 0;
    deadline_.cancel();
    Listed(Listing::no);
    HttpRequest request = std::move(request_);
    request.body = std::move(parser_->get().body());
    Routed routed;
    try {
        routed = Route(std::move(request), Config().service);
    } catch (const std::bad_alloc&) {
        return Send(FailureAnswer(Failure{Failure::What::outOfMemory}), false);
    }
    if (!routed.drawing) return Send(std::move(routed.answer), keepAlive_);
    // Art of a few lines is drawn here: handing it to the pool and its answer back would
    // cost about as much as drawing it, and so little text cannot cost much.
    if (routed.drawing->text.size() <= kDrawnAtOnce) return Send(DrawSafely(std::move(*routed.drawing)), keepAlive_);
    shared_.pool->Submit(client_, [self = shared_from_this(), drawing = std::move(*routed.drawing)]() mutable {
        self->DrawAndSend(std::move(drawing));
    });
}

// On a thread of the pool: the picture, then its answer sent from the connection's own.
void Session::DrawAndSend(Drawing drawing) {
    net::post(stream_.get_executor(), [self = shared_from_this(), answer = DrawSafely(std::move(drawing))]() mutable {
        self->Send(std::move(answer), self->keepAlive_);
    });
}

HttpResponse Session::DrawSafely(Drawing drawing) const {
    try {
        return Draw(std::move(drawing), Config().service);
    } catch (const std::exception& e) {
        Log(LogPriority::error, std::string("quarvel-server: a picture could not be drawn: ") + e.what());
        return JsonError(500, ErrorCode::internal, "the picture could not be drawn");
    }
}

// A request that could not be read: an answer that says why where there was a
// request at all, else the end of the connection.
void Session::Fail(beast::error_code ec) {
    deadline_.cancel();
    if (evicted_) return Send(Busy("every connection is taken; try again in a moment"), false);
    if (timedOut_) {
        const bool head = !headDone_;
        const auto limit = head ? std::min(Config().headerTimeout, Config().requestTimeout) : Config().requestTimeout;
        return Send(JsonError(408, ErrorCode::timeout,
                              std::string(head ? "the request's head" : "the request") + " did not arrive within " +
                                  std::to_string(limit.count()) + " s"),
                    false);
    }
    if (ec == http::error::header_limit)
        return Send(JsonError(431, ErrorCode::headTooLarge,
                              "the request line and headers (with any trailers) are larger than " +
                                  std::to_string(kMaxHeaderBytes / 1024) + " KB"),
                    false);
    if (ec == http::error::body_limit) return Send(TooLarge(), false);
    if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
        ec != http::error::end_of_stream && ec != http::error::partial_message)
        return Send(JsonError(400, ErrorCode::badHttp, "malformed HTTP request: " + ec.message()), false);
    Close();  // the client went away
}

void Session::Send(HttpResponse answer, bool keepAlive) {
    phase_ = Phase::answering;
    reading_ = 0;  // the request's deadline has no more to say
    deadline_.cancel();
    Listed(Listing::no);
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

void Session::LogRequest() {
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    char tail[64];
    std::snprintf(tail, sizeof tail, " %u %zu %.1f", response_.result_int(), sent_, ms);
    Log(LogPriority::info, method_ + " " + path_ + tail);
}

// Ends the connection after an answer without reading the rest of the request: the
// sending side first, then what the client still sends is read and dropped for a
// moment, so that the client reads the answer before the connection closes (closing
// with unread bytes would reset it and lose the answer).
void Session::Linger() {
    // Nothing is left to answer: the first to make room for a new connection.
    phase_ = Phase::waiting;
    Listed(Listing::first);
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(std::chrono::seconds(2));
    Drain();
}

void Session::Drain() {
    buffer_.clear();
    stream_.async_read_some(buffer_.prepare(kReadSize), [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec) return self->Close();
        self->Drain();
    });
}

void Session::Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
}

}  // namespace quarvel::server
