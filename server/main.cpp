// quarvel-server: text art to PNG pictures over HTTP, and a page to draw them in.

#include <new>

#include "platform/fonts.h"
#include "platform/language.h"
#include "platform/memory.h"
#include "server/command_line.h"
#include "server/http_server.h"
#include "server/log.h"
#include "server/routes.h"

namespace {

using namespace quarvel;
using namespace quarvel::server;
using quarvel::platform::GlyphCache;
using quarvel::platform::UserFontFile;

int Run(int argc, char** argv) {
    ServerConfig config;
    if (const std::optional<int> done = ReadCommandLine(argc, argv, config)) return *done;
    // A picture's tag names the program and the font that draw it, so that a new
    // version or a new font gives new tags.
    config.service.program = "quarvel-server " QUARVEL_VERSION " font=" + UserFontFile().string();
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
        Log(LogPriority::error, "quarvel-server: " + FailureText(Failure{Failure::What::outOfMemory}));
        return 1;
    }
}
