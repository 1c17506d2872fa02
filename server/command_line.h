#pragma once
// The command line of quarvel-server as one table: each option's name, value, default
// and help, and what it sets. The parser and --help are made from it; the man page and
// docs/SERVER.md are checked against it by a test.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "server/request.h"
#include "server/routes.h"

namespace quarvel::cmdline {
struct CompletionTable;
}

namespace quarvel::server {

struct ServerConfig {
    ListenAddress listen{"127.0.0.1", 8080};
    int threads = 1;  // pictures drawn at once
    std::chrono::seconds headerTimeout{
        5};  // from a connection's opening (or a request's first byte) to the end of the head
    std::chrono::seconds requestTimeout{10};  // from a request's first byte to its last, and to write the answer
    std::chrono::seconds idleTimeout{75};     // a kept-alive connection waiting for its next request
    // Beyond, the connection that has waited longest without a whole request is closed
    // for the new one; 503 when every connection has a request in hand.
    int maxConnections = 1024;
    ServiceSettings service;
};

struct ServerOption {
    std::string name;          // "--listen"
    std::string value;         // what it takes, as the help names it: "ADDR:PORT"
    std::string defaultValue;  // as the help, the man page and docs/SERVER.md say it
    std::string help;          // without the default, which the help adds
    std::string needs;         // what a value that cannot be read is told: "needs ..."
    // Sets the option's value in the configuration; false when it cannot be read.
    std::function<bool(const std::string& value, ServerConfig& config)> read;
};

// Every option that takes a value, in the order the help lists them.
const std::vector<ServerOption>& ServerOptions();

// Reads the command line into `config`. An exit status when the program is done
// (--help, --version: 0; bad usage, told on standard error: 2); none when it is to run.
std::optional<int> ReadCommandLine(int argc, char** argv, ServerConfig& config);

// The options as the shells' completion takes them (cmdline/completion.h).
cmdline::CompletionTable CompletionTable();

}  // namespace quarvel::server
