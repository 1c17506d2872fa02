#include "server/command_line.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <thread>

#include "cmdline/checks.h"
#include "cmdline/completion.h"
#include "cmdline/help.h"
#include "cmdline/usage.h"
#include "platform/language.h"
#include "render/look_options.h"
#include "render/text_art.h"

namespace quarvel::server {

using cmdline::HelpFormatter;
using cmdline::Leftover;
using cmdline::Needs;
using cmdline::OptionNames;
using cmdline::ValueProblem;
using platform::Fill;
using render::kMaxTextBytes;
namespace look_options = render::look_options;

namespace {

constexpr const char* kProgram = "quarvel-server";
constexpr int kExitUsage = 2;

// Reads a whole number from `lo` to `hi` into `target`.
template <typename T, typename Make>
bool ReadNumber(const std::string& value, int lo, int hi, T& target, Make make) {
    const std::optional<int> n = look_options::ParseWholeNumber(value, lo, hi);
    if (n) target = make(*n);
    return n.has_value();
}

auto Seconds(std::chrono::seconds ServerConfig::*member) {
    return [member](const std::string& v, ServerConfig& c) {
        return ReadNumber(v, 1, 3600, c.*member, [](int n) { return std::chrono::seconds(n); });
    };
}

int Same(int n) { return n; }

std::vector<ServerOption> MakeOptions() {
    const std::string seconds = _("needs a number of seconds from 1 to 3600");
    return {
        {"--listen", "ADDR:PORT", "127.0.0.1:8080",
         _("the address and port to listen on. [::1]:8080 for IPv6, *:8080 for every address, port 0 for any free "
           "one (the log's first line names it)"),
         _("needs ADDRESS:PORT, such as 127.0.0.1:8080"),
         [](const std::string& v, ServerConfig& c) {
             Parsed<ListenAddress> a = ParseListenAddress(v);
             if (a) c.listen = *a.value;
             return static_cast<bool>(a);
         }},
        {"--threads", "N", _("one per core"),
         _("pictures drawn at once, 1 to 256, on threads apart from the connections' (as many)"),
         Fill(_("needs a number from {1} to {2}"), {"1", "256"}),
         [](const std::string& v, ServerConfig& c) { return ReadNumber(v, 1, 256, c.threads, Same); }},
        {"--max-body", "SIZE", "1M", _("the largest art a request may send, in bytes (K and M suffixes), at most 16M"),
         _("needs a size from 1 to 16M, such as 512K"),
         [](const std::string& v, ServerConfig& c) {
             const std::optional<std::size_t> n = ParseByteSize(v, 1, kMaxTextBytes);
             if (n) c.service.maxBody = *n;
             return n.has_value();
         }},
        {"--header-timeout", "SECONDS", "5",
         _("the longest a new connection may take to send its first request's line and headers, and a later request "
           "from its first byte"),
         seconds, Seconds(&ServerConfig::headerTimeout)},
        {"--request-timeout", "SECONDS", "10",
         _("the longest a request may take to arrive, from its first byte to its last, and its answer to be taken"),
         seconds, Seconds(&ServerConfig::requestTimeout)},
        {"--idle-timeout", "SECONDS", "75",
         _("how long a kept-alive connection may wait for its next request (longer than a load balancer's own, 60 s "
           "for nginx)"),
         seconds, Seconds(&ServerConfig::idleTimeout)},
        {"--max-connections", "N", "1024",
         _("connections served at once, 1 to 100000; one more takes the place of the one that has waited longest "
           "without a whole request, or gets 503 when all have one"),
         Fill(_("needs a number from {1} to {2}"), {"1", "100000"}),
         [](const std::string& v, ServerConfig& c) { return ReadNumber(v, 1, 100000, c.maxConnections, Same); }},
        {"--cpu-limit", "MILLISECONDS", "1000",
         _("the processor time one picture may take to find and draw characters not drawn before; beyond, 503 and "
           "what was found is kept for the next try; 1 to 60000"),
         _("needs a number of milliseconds from 1 to 60000"),
         [](const std::string& v, ServerConfig& c) {
             return ReadNumber(v, 1, 60000, c.service.cpuLimit, [](int n) { return std::chrono::milliseconds(n); });
         }},
    };
}

// The program's CLI11 app over the table, filling `config`.
class ServerCommandLine {
public:
    explicit ServerCommandLine(ServerConfig& config);
    std::optional<int> Read(int argc, char** argv);
    const CLI::App& App() const { return app_; }

private:
    std::string UsageMessage(const CLI::Error& error) const;

    CLI::App app_;
    bool version_ = false;
    std::string lastWord_;
};

ServerCommandLine::ServerCommandLine(ServerConfig& config)
    : app_(_("Draws Japanese text art into PNG pictures over HTTP, byte for byte as `quarvel-cli render` does: "
             "POST /render (the art as the body) or GET /render?text=..., with the options of render as query "
             "parameters (fore, back, margin, scale, space-sim, html, indexed, encoding). GET / is a page to paste art "
             "into; GET /healthz answers {\"status\": \"ok\"}. One line per request on standard error, begun with "
             "its priority for the journal when it is the journal (<6>, errors <3>)."),
           kProgram) {
    app_.formatter(std::make_shared<HelpFormatter>());
    app_.option_defaults()->group(_("Options"));
    app_.set_help_flag("-h,--help", _("show this help and exit"));
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app_.failure_message([this](const CLI::App*, const CLI::Error& error) { return UsageMessage(error); });
    app_.add_flag("--version", version_, _("show the program's name and version and exit"));
    for (const ServerOption& option : ServerOptions()) {
        app_.add_option_function<std::string>(
                option.name, [&option, &config](const std::string& v) { option.read(v, config); },
                Fill(_("{1}; default {2}"), {option.help, option.defaultValue}))
            ->type_name(option.value)
            ->check(Needs(option.name, option.needs, [&option](const std::string& v) {
                ServerConfig scratch;
                return option.read(v, scratch);
            }));
    }
    app_.footer(
        _("Exit status: 0 stopped by SIGTERM or SIGINT, 1 the address could not be listened on, 2 bad usage.\n"
          "QUARVEL_FONT names a font file whose glyph shapes replace Mona's, as for quarvel-cli."));
}

std::string ServerCommandLine::UsageMessage(const CLI::Error& error) const {
    // A word no option took is told before what it may have kept from being given.
    std::string problem = cmdline::UnknownOption(app_.remaining(), OptionNames(app_));
    if (problem.empty()) problem = ValueProblem(app_, error, lastWord_);
    if (problem.empty() && dynamic_cast<const CLI::ExtrasError*>(&error))
        problem = Leftover(app_.remaining(), _("no operands are taken"), OptionNames(app_));
    if (problem.empty()) problem = error.what();
    return std::string(kProgram) + ": " + Fill(_("{1} (see {2})"), {problem, "quarvel-server --help"}) + "\n";
}

std::optional<int> ServerCommandLine::Read(int argc, char** argv) {
    lastWord_ = argc > 1 ? argv[argc - 1] : "";
    std::vector<std::string> words = cmdline::Arguments(argc, argv);
    try {
        app_.parse(words);
    } catch (const CLI::ParseError& error) {
        // Help on standard output, exit 0; bad usage through UsageMessage.
        return app_.exit(error) == 0 ? 0 : kExitUsage;
    }
    if (version_) {
        std::printf("%s %s\n", kProgram, QUARVEL_VERSION);
        return 0;
    }
    return std::nullopt;
}

}  // namespace

const std::vector<ServerOption>& ServerOptions() {
    static const std::vector<ServerOption> options = MakeOptions();
    return options;
}

cmdline::CompletionTable CompletionTable() {
    ServerConfig scratch;
    const ServerCommandLine commandLine(scratch);
    // Every value is a number, a size or an address: nothing to offer but the option.
    return cmdline::CompletionTableOf(kProgram, commandLine.App(),
                                      [](const CLI::Option*) { return cmdline::ValueKind{}; });
}

std::optional<int> ReadCommandLine(int argc, char** argv, ServerConfig& config) {
    const unsigned cores = std::thread::hardware_concurrency();
    config.threads = cores == 0 ? 1 : static_cast<int>(cores);
    return ServerCommandLine(config).Read(argc, argv);
}

}  // namespace quarvel::server
