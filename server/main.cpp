// quarvel-server: text art to PNG pictures over HTTP, and a page to draw them in.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <thread>

#include "platform/fonts.h"
#include "platform/language.h"
#include "platform/memory.h"
#include "render/look_options.h"
#include "render/text_art.h"
#include "server/http_server.h"
#include "server/log.h"
#include "server/request.h"

namespace {

using namespace quarvel;
using namespace quarvel::server;
using quarvel::platform::Fill;
using quarvel::platform::GlyphCache;
using quarvel::platform::UserFontFile;
using quarvel::render::kMaxTextBytes;
namespace look_options = quarvel::render::look_options;

constexpr int kExitUsage = 2;

int UsageError(const std::string& message) {
    std::fprintf(stderr, "quarvel-server: %s\n", Fill(_("{1} (see {2})"), {message, "quarvel-server --help"}).c_str());
    return kExitUsage;
}

// Text broken into lines of at most `width` columns (CLI11 indents the lines after a
// line break beside its option column).
std::string Wrap(const std::string& text, std::size_t width) {
    std::string out;
    std::size_t column = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        if (column > 0 && column + 1 + word.size() > width) {
            out += '\n';
            column = 0;
        } else if (column > 0) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        at = end + 1;
    }
    return out;
}

// An option whose value is checked by `read`, which sets the target and returns an
// empty string, or says what the value needs.
void AddChecked(CLI::App& app, const std::string& name, const std::string& type, const std::string& help,
                std::function<std::string(const std::string&)> read) {
    app.add_option_function<std::string>(
           name, [](const std::string&) {}, help)
        ->type_name(type)
        ->check(CLI::Validator(
            [read = std::move(read)](std::string& value) {
                std::string problem = read(value);
                return problem.empty() ? std::string() : Fill(_("{1}, not '{2}'"), {problem, value});
            },
            std::string()));
}

// An option of whole seconds, 1 to 3600, into `target`.
void AddSeconds(CLI::App& app, const std::string& name, std::chrono::seconds& target, const std::string& help) {
    AddChecked(app, name, "SECONDS", help, [&target](const std::string& v) {
        auto n = look_options::ParseWholeNumber(v, 1, 3600);
        if (n) target = std::chrono::seconds(*n);
        return n ? std::string() : std::string(_("needs a number of seconds from 1 to 3600"));
    });
}

int Run(int argc, char** argv) {
    ServerConfig config;
    const unsigned cores = std::thread::hardware_concurrency();
    config.threads = cores == 0 ? 1 : static_cast<int>(cores);
    config.service.program = "quarvel-server " QUARVEL_VERSION;

    CLI::App app(
        _("Draws Japanese text art into PNG pictures over HTTP, byte for byte as `quarvel-cli render` does: "
          "POST /render (the art as the body) or GET /render?text=..., with the options of render as query "
          "parameters (fore, back, margin, space-sim, html, indexed, encoding). GET / is a page to paste art "
          "into; GET /healthz answers {\"status\": \"ok\"}. One line per request on standard error, begun with "
          "its priority for the journal (<6>, errors <3>)."),
        "quarvel-server");
    app.option_defaults()->group(_("Options"));
    app.get_formatter()->label("Usage", _("Usage"));
    app.set_help_flag("-h,--help", _("show this help and exit"));
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    bool version = false;
    app.add_flag("--version", version, _("show the program's name and version and exit"));
    AddChecked(app, "--listen", "ADDR:PORT",
               _("the address and port to listen on; default 127.0.0.1:8080. [::1]:8080 for IPv6, *:8080 for every "
                 "address, port 0 for any free one (the log's first line names it)"),
               [&](const std::string& v) {
                   Parsed<ListenAddress> a = ParseListenAddress(v);
                   if (a) config.listen = *a.value;
                   return a ? std::string() : std::string(_("needs ADDRESS:PORT, such as 127.0.0.1:8080"));
               });
    AddChecked(app, "--threads", "N",
               Fill(_("pictures drawn at once, 1 to 256, on threads apart from the connections' (as many); default "
                      "one per core ({1})"),
                    {std::to_string(config.threads)}),
               [&](const std::string& v) {
                   auto n = look_options::ParseWholeNumber(v, 1, 256);
                   if (n) config.threads = *n;
                   return n ? std::string() : Fill(_("needs a number from {1} to {2}"), {"1", "256"});
               });
    AddChecked(app, "--max-body", "SIZE",
               _("the largest art a request may send, in bytes (K and M suffixes), at most 16M; default 1M"),
               [&](const std::string& v) {
                   auto n = ParseByteSize(v, 1, kMaxTextBytes);
                   if (n) config.service.maxBody = *n;
                   return n ? std::string() : std::string(_("needs a size from 1 to 16M, such as 512K"));
               });
    AddSeconds(app, "--header-timeout", config.headerTimeout,
               _("the longest a new connection may take to send its first request's line and headers, and a later "
                 "request from its first byte; default 5"));
    AddSeconds(app, "--request-timeout", config.requestTimeout,
               _("the longest a request may take to arrive, from its first byte to its last, and its answer to be "
                 "taken; default 10"));
    AddSeconds(app, "--idle-timeout", config.idleTimeout,
               _("how long a kept-alive connection may wait for its next request; default 75 (longer than a load "
                 "balancer's own, 60 s for nginx)"));
    AddChecked(app, "--max-connections", "N",
               _("connections served at once, 1 to 100000; one more takes the place of the one that has waited longest "
                 "without a whole request, or gets 503 when all have one; default 1024"),
               [&](const std::string& v) {
                   auto n = look_options::ParseWholeNumber(v, 1, 100000);
                   if (n) config.maxConnections = *n;
                   return n ? std::string() : Fill(_("needs a number from {1} to {2}"), {"1", "100000"});
               });
    AddChecked(app, "--cpu-limit", "MILLISECONDS",
               _("the processor time one picture may take to find and draw characters not drawn before; beyond, 503 "
                 "and what was found is kept for the next try; 1 to 60000, default 1000"),
               [&](const std::string& v) {
                   auto n = look_options::ParseWholeNumber(v, 1, 60000);
                   if (n) config.service.cpuLimit = std::chrono::milliseconds(*n);
                   return n ? std::string() : std::string(_("needs a number of milliseconds from 1 to 60000"));
               });
    app.footer(
        _("Exit status: 0 stopped by SIGTERM or SIGINT, 1 the address could not be listened on, 2 bad usage.\n"
          "QUARVEL_FONT names a font file whose glyph shapes replace Mona's, as for quarvel-cli."));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        constexpr std::size_t kColumn = 30, kWidth = 80;
        app.get_formatter()->column_width(kColumn);
        for (CLI::Option* option : app.get_options())
            option->description(Wrap(option->get_description(), kWidth - kColumn));
        app.description(Wrap(app.get_description(), kWidth));
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        if (const std::size_t colon = what.find(": "); what.starts_with("-") && colon != std::string::npos)
            what = Fill(_("option {1} {2}"), {what.substr(0, colon), what.substr(colon + 2)});
        return UsageError(what);
    }
    if (version) {
        std::printf("quarvel-server %s\n", QUARVEL_VERSION);
        return 0;
    }
    // A picture's tag names the font that draws it, so that a new font gives new tags.
    config.service.program += " font=" + UserFontFile().string();
    // The main face opens now, not with the first request.
    GlyphCache::Instance();
    return RunServer(config);
}

}  // namespace

int main(int argc, char** argv) {
    quarvel::platform::SetUpLanguage("quarvel-server");
    quarvel::platform::KeepFreedMemoryForReuse();
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        Log(LogPriority::error, "quarvel-server: out of memory");
        return 1;
    }
}
