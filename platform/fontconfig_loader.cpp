#include <dlfcn.h>

#include <cerrno>
#include <cstdio>

#include "platform/fontconfig_internal.h"

namespace quarvel::platform::detail {

const Fontconfig* Fc() {
    static const Fontconfig* loaded = []() -> const Fontconfig* {
        void* library = dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_LOCAL);
        static Fontconfig fc;
        bool complete = library != nullptr;
#define QUARVEL_LOAD(name)                                                    \
    if (complete) {                                                           \
        fc.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
        complete = fc.name != nullptr;                                        \
    }
        QUARVEL_FONTCONFIG_FUNCTIONS(QUARVEL_LOAD)
#undef QUARVEL_LOAD
        if (!complete) {
            const char* error = dlerror();
            std::fprintf(stderr, "%s: fontconfig cannot be used (%s): only the known font files are drawn with\n",
                         program_invocation_short_name, error ? error : "libfontconfig.so.1");
            return nullptr;
        }
        // As when it was linked: a configuration that fails to load leaves fontconfig's
        // defaults, which are still asked.
        fc.FcInit();
        return &fc;
    }();
    return loaded;
}

}  // namespace quarvel::platform::detail
