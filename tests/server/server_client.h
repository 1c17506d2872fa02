#pragma once
// quarvel-server's tests speak to the real program on an ephemeral port over TCP, as
// any client would: a connection with every wait bounded, the program itself, and
// what quarvel-cli makes of the same text.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace quarvel::test::server {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// One answer as the client read it.
struct Answer {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    bool complete = false;  // the whole answer arrived

    std::string Header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
    bool IsJsonError() const {
        return Header("content-type") == "application/json; charset=utf-8" && body.starts_with("{\"error\": \"") &&
               !ErrorCode().empty();
    }
    // The `code` of a JSON error: {"error": "...", "code": "..."}.
    std::string ErrorCode() const {
        std::smatch code;
        return std::regex_search(body, code, std::regex("\", \"code\": \"([a-z-]+)\"\\}\n$")) ? code[1].str() : "";
    }
};

// A TCP connection to the server, with every wait bounded.
class Connection {
public:
    // `from`: the loopback address it comes from (127.0.0.2 is another client's).
    explicit Connection(int port, const char* from = nullptr) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (from) {
            sockaddr_in source{};
            source.sin_family = AF_INET;
            ::inet_pton(AF_INET, from, &source.sin_addr);
            ::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Connection() {
        if (fd_ >= 0) ::close(fd_);
    }
    Connection(Connection&& other) noexcept : fd_(std::exchange(other.fd_, -1)), pending_(std::move(other.pending_)) {}
    Connection(const Connection&) = delete;

    bool ok() const { return fd_ >= 0; }

    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // Reads one answer (a HEAD answer has no body, whatever its Content-Length says).
    Answer Read(bool head = false, std::chrono::milliseconds limit = 10s) {
        Answer answer;
        const auto deadline = Clock::now() + limit;
        std::size_t end;
        while ((end = pending_.find("\r\n\r\n")) == std::string::npos)
            if (!Fill(deadline)) return answer;
        const std::string head_text = pending_.substr(0, end);
        pending_.erase(0, end + 4);
        std::smatch m;
        if (!std::regex_search(head_text, m, std::regex("^HTTP/1\\.[01] (\\d{3})"))) return answer;
        answer.status = std::stoi(m[1]);
        std::size_t at = head_text.find("\r\n");
        while (at != std::string::npos) {
            const std::size_t next = head_text.find("\r\n", at + 2);
            const std::string line = head_text.substr(at + 2, next == std::string::npos ? next : next - at - 2);
            const std::size_t colon = line.find(':');
            std::string name = line.substr(0, colon);
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            answer.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
            at = next;
        }
        std::size_t length = 0;
        if (!head && answer.headers.count("content-length")) length = std::stoul(answer.headers["content-length"]);
        while (pending_.size() < length)
            if (!Fill(deadline)) return answer;
        answer.body = pending_.substr(0, length);
        pending_.erase(0, length);
        answer.complete = true;
        return answer;
    }

    // Whether some of an answer (or the end) has come and waits to be read, now.
    bool Readable() const {
        pollfd p{fd_, POLLIN, 0};
        return !pending_.empty() || ::poll(&p, 1, 0) > 0;
    }

    // True when the server closed the connection (within the limit).
    bool Closed(std::chrono::milliseconds limit = 10s) {
        const auto deadline = Clock::now() + limit;
        while (Fill(deadline)) {}
        return closed_;
    }

private:
    bool Fill(Clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    std::string pending_;
    bool closed_ = false;
};

// The real program, its standard error in a file; stopped with SIGTERM.
class Server {
public:
    // `wrapper`: a program that runs the server (prlimit with its options).
    explicit Server(std::vector<std::string> options = {}, std::vector<std::string> wrapper = {}) {
        log_ = dir_ / "server.log";
        std::vector<std::string> args = wrapper;
        for (const char* a : {QUARVEL_SERVER_PATH, "--listen", "127.0.0.1:0"}) args.emplace_back(a);
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argp;
        for (auto& a : args) argp.push_back(a.data());
        argp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        // The first line names the port; a program that ends first has none.
        const std::regex listening("listening on http://127\\.0\\.0\\.1:(\\d+)/");
        const auto named = [&] {
            std::smatch m;
            const std::string log = test::ReadFile(log_);
            if (std::regex_search(log, m, listening)) port_ = std::stoi(m[1]);
            return port_ != 0;
        };
        int status = 0;
        if (!test::WaitWhileRunning(pid_, named, status, "quarvel-server never named its port", 10ms, 20s)) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            pid_ = 0;
        }
    }
    ~Server() { Stop(); }

    int port() const { return port_; }
    Connection Connect(const char* from = nullptr) const { return Connection(port_, from); }

    // One request on a new connection.
    Answer Ask(const std::string& method, const std::string& target, const std::string& body = {},
               const std::vector<std::string>& headers = {}) const {
        Connection c = Connect();
        std::string request = method + " " + target + " HTTP/1.1\r\nHost: test\r\nConnection: close\r\n";
        for (const std::string& h : headers) request += h + "\r\n";
        if (!body.empty() || method == "POST") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        c.Send(request + "\r\n" + body);
        return c.Read(method == "HEAD");
    }
    Answer Post(const std::string& target, const std::string& body,
                const std::string& type = "text/plain; charset=utf-8") const {
        return Ask("POST", target, body, {"Content-Type: " + type});
    }

    // Stops the program; its exit status. One that does not stop within the bound
    // ends the test program.
    int Stop() {
        if (pid_ <= 0) return status_;
        ::kill(pid_, SIGTERM);
        int status = 0;
        test::WaitWhileRunning(
            pid_, [] { return false; }, status, "quarvel-server did not stop on SIGTERM", 5ms, 10s);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = 0;
        return status_;
    }
    std::string Log() const { return test::ReadFile(log_); }
    pid_t pid() const { return pid_; }

private:
    test::TempDir dir_;
    std::filesystem::path log_;
    pid_t pid_ = 0;
    int port_ = 0;
    int status_ = -1;
};

inline std::string Examples(const std::string& name) {
    return test::ReadFile(std::string(QUARVEL_SOURCE_DIR) + "/examples/" + name);
}

// What quarvel-cli render writes for the text and arguments, through standard output.
inline std::string CliPicture(const std::string& text, std::vector<std::string> args) {
    args.insert(args.begin(), {QUARVEL_CLI_PATH, "render", "-", "-o", "-"});
    const test::ProcessResult r = test::RunProcess(args, text);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out;
}

}  // namespace quarvel::test::server
