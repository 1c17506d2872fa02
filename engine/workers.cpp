#include "engine/workers.h"
#include "platform/language.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace quarvel::engine::workers {

namespace {

constexpr const char* kModuleName = "quarvel-workers.so";
using RunFunction = void (*)(int workers, std::size_t inFlight, const Stages* stages);

// The program's own file, or empty.
std::string ProgramFile() {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(n));
    return path;
}

// The module's file for a program at `program` (a path): LIBDIR/quarvel/quarvel-workers.so
// one or two folders above the program's folder, as installed (/usr/bin and /usr/lib/...)
// and as built (build/cli, build/tests/engine and build/lib/...); the first that exists,
// or empty.
std::string ModuleFor(const std::string& program) {
    const std::string::size_type slash = program.rfind('/');
    if (slash == std::string::npos) return {};
    std::string folder = program.substr(0, slash);
    for (int up = 1; up <= 2; ++up) {
        folder += "/..";
        const std::string file = folder + "/" + QUARVEL_LIBDIR + "/quarvel/" + kModuleName;
        struct stat st {};
        if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return file;
    }
    return {};
}

// The module's entry, loaded on first use; null, said once, when there is none to be had.
RunFunction LoadedModule() {
    static RunFunction run = []() -> RunFunction {
        const std::string program = ProgramFile();
        const std::string file = ModuleFor(program);
        std::string problem;
        if (file.empty()) {
            problem =
                platform::Fill(_("no {1} beside {2}"), {std::string(QUARVEL_LIBDIR) + "/quarvel/" + kModuleName,
                                                        program.empty() ? std::string(_("the program")) : program});
        } else if (void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            const auto* version = static_cast<const char*>(dlsym(module, "quarvel_workers_version"));
            auto* entry = reinterpret_cast<RunFunction>(dlsym(module, "quarvel_workers_run"));
            if (version && entry && std::strcmp(version, QUARVEL_VERSION) == 0) return entry;
            problem = platform::Fill(_("{1}: not the module of this version ({2})"), {file, QUARVEL_VERSION});
            dlclose(module);
        } else {
            const char* error = dlerror();
            problem = error ? error : file;
        }
        // Under the name of the program that draws: quarvel-cli, quarvel or quarvel-server.
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name,
                     platform::Fill(_("pictures are drawn one at a time: {1}"), {problem}).c_str());
        return nullptr;
    }();
    return run;
}

void RunHere(const Stages& stages) {
    while (void* item = stages.make(stages.context)) {
        stages.work(stages.context, item);
        stages.take(stages.context, item);
    }
}

}  // namespace

void Run(int workers, std::size_t inFlight, const Stages& stages) {
    if (workers > 1) {
        if (RunFunction run = LoadedModule()) {
            run(workers, inFlight, &stages);
            return;
        }
    }
    RunHere(stages);
}

}  // namespace quarvel::engine::workers
